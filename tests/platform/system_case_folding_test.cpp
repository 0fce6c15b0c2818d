// Windows only: the case mappings that stand in where the C runtime cannot take the user's locale.
#include <gtest/gtest.h>

#include <utility>

#include "platform/platform.h"

namespace tarvel {
namespace {

// The user's letters fold, not only ASCII; a byte folds only where it is a whole character of the
// code page, so the bytes of a UTF-8 sequence stay as they are.
TEST(SystemCaseFolding, FoldsTheUsersLettersAndWholeCharactersOnly) {
  const std::pair<char16_t, char16_t> units[] = {
      {u'A', u'a'}, {u'\x00C4', u'\x00E4'}, {u'\x0416', u'\x0436'}, {u'\xD800', u'\xD800'}};
  const auto western = system_case_folding(1252);
  for (const auto& [unit, folded] : units) {
    EXPECT_EQ(static_cast<int>(western->fold_unit(unit)), static_cast<int>(folded));
  }
  struct ByteCase {
    unsigned code_page;
    unsigned char byte;
    unsigned char folded;
  };
  const ByteCase bytes[] = {{1252, 0xC4, 0xE4},
                            {1252, 0x8A, 0x9A},
                            {1251, 0xC6, 0xE6},
                            {65001, 'A', 'a'},
                            {65001, 0xC3, 0xC3}};
  for (const ByteCase& c : bytes) {
    EXPECT_EQ(system_case_folding(c.code_page)->fold_byte(c.byte), c.folded)
        << "byte " << static_cast<int>(c.byte) << " in code page " << c.code_page;
  }
}

}  // namespace
}  // namespace tarvel
