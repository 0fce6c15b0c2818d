// The sorted path sets: order, first spelling and duplicates.
#include <gtest/gtest.h>

#include <clocale>
#include <vector>

#include "compare/name_set.h"

namespace tarvel {
namespace {

std::vector<std::u16string> members(const NameSet& set) {
  std::vector<std::u16string> out;
  set.for_each([&](std::u16string_view name, const NameSet::Member&) { out.emplace_back(name); });
  return out;
}

NameSet filled(const CaseFolding& folding, std::initializer_list<std::u16string_view> names) {
  NameSet set(folding);
  for (std::u16string_view name : names) {
    set.insert(name);
  }
  return set;
}

TEST(NameSet, OrdersByLowerCasedUnits) {
  const auto folding = CaseFolding::from_current_locale();
  struct Case {
    std::initializer_list<std::u16string_view> inserted;
    std::vector<std::u16string> expected;
  };
  const Case cases[] = {
      {{u"b", u"a", u"c"}, {u"a", u"b", u"c"}},
      {{u"abcd", u"abc"}, {u"abc", u"abcd"}},
      // Folding to lower case puts '_' (0x5F) before every letter, in either case.
      {{u"Ax", u"ax2", u"_x"}, {u"_x", u"Ax", u"ax2"}},
      {{u"B", u"a", u"C"}, {u"a", u"B", u"C"}},
      {{u"\\z", u"[", u"`"}, {u"[", u"\\z", u"`"}},
      // Units compare unsigned: anything above U+7FFF sorts after ASCII.
      {{u"\xFF00", u"z", u"\x8000"}, {u"z", u"\x8000", u"\xFF00"}},
      // An entry with no name and no directory has an empty path; it may come first of all
      // (a fuzzer found the set storing it nowhere).
      {{u"", u"a", u""}, {u"", u"a"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(members(filled(*folding, c.inserted)), c.expected);
  }
}

TEST(NameSet, KeepsTheFirstSpellingOfCaseInsensitiveDuplicates) {
  const auto folding = CaseFolding::from_current_locale();
  NameSet set =
      filled(*folding, {u"C:\\Windows\\Foo.exe", u"c:\\WINDOWS\\foo.EXE", u"C:\\Windows\\Foo.exe"});
  EXPECT_EQ(set.count(), 1u);
  EXPECT_EQ(members(set), std::vector<std::u16string>{u"C:\\Windows\\Foo.exe"});
}

TEST(NameSet, FoldsNonAsciiLettersWithTheLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) {
    GTEST_SKIP() << "no C.UTF-8 locale";
  }
  const auto utf8 = CaseFolding::from_current_locale();
  std::setlocale(LC_ALL, "C");
  const auto plain = CaseFolding::from_current_locale();
  std::setlocale(LC_ALL, previous.c_str());

  if (utf8->fold_unit(u'\x00C9') != u'\x00E9') {
    GTEST_SKIP() << "this C.UTF-8 has no case mappings beyond ASCII";
  }
  EXPECT_EQ(filled(*utf8, {u"\x00C9t\x00E9", u"\x00E9T\x00C9"}).count(), 1u);
  // The C locale folds ASCII only.
  EXPECT_EQ(filled(*plain, {u"\x00C9t\x00E9", u"\x00E9T\x00C9"}).count(), 2u);
  EXPECT_EQ(plain->fold_unit(u'Q'), u'q');
}

}  // namespace
}  // namespace tarvel
