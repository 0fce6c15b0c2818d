// Case folding at the edges of the ranges it maps.
#include "platform/case_folding.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace tarvel {
namespace {

// The table reaches from U+0000 to U+FFFF, both ends included; surrogate halves are no
// characters and fold to themselves, up to the last one.
TEST(CaseFolding, CoversEveryUnitAndLeavesSurrogatesAlone) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) {
    GTEST_SKIP() << "no C.UTF-8 locale";
  }
  const auto folding = CaseFolding::from_current_locale();
  std::setlocale(LC_ALL, previous.c_str());
  if (folding->fold_unit(u'\x00C9') != u'\x00E9') {
    GTEST_SKIP() << "this C.UTF-8 has no case mappings beyond ASCII";
  }
  struct Case {
    char16_t unit;
    char16_t folded;
  };
  const Case cases[] = {
      {u'\0', u'\0'},         {u'A', u'a'},           {u'\xD7FF', u'\xD7FF'},
      {u'\xD800', u'\xD800'}, {u'\xDBFF', u'\xDBFF'}, {u'\xDC00', u'\xDC00'},
      {u'\xDFFF', u'\xDFFF'}, {u'\xE000', u'\xE000'}, {u'\xFF21', u'\xFF41'},
      {u'\xFFFE', u'\xFFFE'}, {u'\xFFFF', u'\xFFFF'},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<unsigned>(folding->fold_unit(c.unit)), static_cast<unsigned>(c.folded))
        << std::hex << static_cast<unsigned>(c.unit);
  }
}

}  // namespace
}  // namespace tarvel
