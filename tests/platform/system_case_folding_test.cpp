// Windows only: the case mappings that stand in where the C runtime cannot take the user's locale.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace tarvel {
namespace {

// They must fold the letters of the user's language, not only ASCII as the runtime's "C" locale
// does; a byte folds only where it stands for a whole character of the code page.
TEST(SystemCaseFolding, FoldsTheUsersLettersAndWholeCharactersOnly) {
  struct WideCase {
    char16_t unit;
    char16_t folded;
  };
  const WideCase wide_cases[] = {
      {u'A', u'a'},         {u'a', u'a'},         {u'_', u'_'},
      {u'\x00C4', u'\x00E4'},  // A with diaeresis
      {u'\x0416', u'\x0436'},  // Cyrillic Zhe
      {u'\x03A3', u'\x03C3'},  // Greek Sigma
      {u'\xFF21', u'\xFF41'},  // full-width A
      {u'\x00DF', u'\x00DF'},  // sharp s has no one-unit lower case to change to
      {u'\xD800', u'\xD800'},  // a surrogate half is no character
      {u'\0', u'\0'},
  };
  struct ByteCase {
    unsigned code_page;
    unsigned char byte;
    unsigned char folded;
  };
  const ByteCase byte_cases[] = {
      {1252, 'A', 'a'},   {1252, 0xC4, 0xE4}, {1252, 0x8A, 0x9A}, {1252, 0x9F, 0xFF},
      {1252, 0xDF, 0xDF}, {1251, 0xC6, 0xE6}, {65001, 'A', 'a'},  {65001, 0xC3, 0xC3},
      {65001, 0xC4, 0xC4},
  };
  const auto western = system_case_folding(1252);
  for (const WideCase& c : wide_cases) {
    EXPECT_EQ(static_cast<unsigned>(western->fold_unit(c.unit)), static_cast<unsigned>(c.folded))
        << "unit " << static_cast<unsigned>(c.unit);
  }
  for (const ByteCase& c : byte_cases) {
    EXPECT_EQ(system_case_folding(c.code_page)->fold_byte(c.byte), c.folded)
        << "byte " << static_cast<unsigned>(c.byte) << " in code page " << c.code_page;
  }
}

}  // namespace
}  // namespace tarvel
