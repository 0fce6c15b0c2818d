// Exclusion rules: reading rules files, matching items, and the index against trying every rule.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "app/exclusions.h"

namespace tarvel {
namespace {

TEST(Exclusions, GlobsMatchWholeTextsIgnoringCase) {
  const auto folding = CaseFolding::from_current_locale();
  struct Case {
    std::u16string glob;
    std::u16string text;
    bool matches;
  };
  const Case cases[] = {
      {u"C:\\Windows\\*", u"c:\\WINDOWS\\System32\\x.dll", true},
      {u"*.log", u"C:\\a\\b.LOG", true},
      {u"*.log", u"C:\\a\\b.log.txt", false},
      {u"?:\\Temp\\*", u"D:\\temp\\x", true},
      {u"?:\\Temp\\*", u"\\Temp\\x", false},
      {u"a*b*c", u"aXbYbZc", true},
      {u"a*b*c", u"aXbYbZ", false},
      {u"*", u"", true},
      {u"", u"", true},
      {u"**x**", u"x", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(glob_matches(c.glob, c.text, *folding), c.matches)
        << std::string(c.glob.begin(), c.glob.end());
  }
  EXPECT_TRUE(glob_matches(std::string_view("10.0.0.? *PRINTER"), "10.0.0.7 printer", *folding));
}

ReportItem item_of(std::size_t list, std::u16string_view text, std::u16string_view key = {},
                   std::string_view line = {}) {
  ReportItem made;
  made.list = list;
  made.text = text;
  made.key = key;
  made.line = line;
  return made;
}

TEST(Exclusions, RulesNameTheirSectionAndBadFilesSayWhichLine) {
  const auto folding = CaseFolding::from_current_locale();
  Exclusions rules;
  Exclusions::Error error;
  // A byte order mark is no part of the first rule.
  ASSERT_TRUE(rules.add_file(
      "\xEF\xBB\xBF" "file\t*.tmp\r\n# noise\r\n\r\n  \napplication\t{KB*}\n*\\Temp\\*\nnever*", error));
  EXPECT_TRUE(rules.excludes(item_of(6, u"C:\\x.TMP"), *folding));          // file section
  EXPECT_FALSE(rules.excludes(item_of(0, u"C:\\x.tmp"), *folding));         // autorun: not that rule
  EXPECT_TRUE(rules.excludes(item_of(1, u"Update", u"{kb123}"), *folding));  // by key
  EXPECT_TRUE(rules.excludes(item_of(3, u"C:\\Users\\Temp\\run.exe"), *folding));  // any section
  EXPECT_TRUE(rules.excludes(item_of(2, u"", u"", "1.2.3.4 a\\temp\\b"), *folding));
  EXPECT_EQ(rules.unmatched_lines(0), std::vector<std::size_t>{7});
  // Files add up, each with its own lines.
  ASSERT_TRUE(rules.add_file("x\n", error));
  EXPECT_EQ(rules.unmatched_lines(1), std::vector<std::size_t>{1});
  EXPECT_EQ(rules.file_count(), 2u);

  const std::pair<std::string_view, std::size_t> broken[] = {
      {"ok\nregistry\t*\n", 2}, {"file\t\n", 1}, {"# c\n\n*\n\xFF\xFE\n", 4},
      {"\xEF\xBB\xBF" "bad\t*", 1}, {"ok\n*.tmp \n", 2}, {"*.tmp\t\r\n", 1},
      {std::string_view("a\0b\n", 4), 1}};
  for (const auto& [text, line_number] : broken) {
    Exclusions refused;
    EXPECT_FALSE(refused.add_file(text, error)) << text;
    EXPECT_EQ(error.line, line_number) << text;
    EXPECT_TRUE(refused.empty()) << text;
  }
}

// The index must find exactly what trying every rule on every item finds, and count the same
// rules as matched: random rules and items over a small alphabet, where heads, wildcards, case,
// bytes above 0x7F and sections collide often.
TEST(Exclusions, TheIndexAgreesWithTryingEveryRule) {
  const auto folding = CaseFolding::from_current_locale();
  std::mt19937 random(20261209);
  // Tokens as UTF-8 and as UTF-16; the last is one letter of two bytes.
  const std::array<std::pair<std::string_view, std::u16string_view>, 7> tokens = {{
      {"a", u"a"}, {"A", u"A"}, {"b", u"b"}, {"B", u"B"}, {"\\", u"\\"}, {".", u"."},
      {"\xC3\xA9", u"\u00E9"}}};
  const auto text_of = [&](std::size_t longest, bool wildcards, std::u16string* wide = nullptr) {
    std::string text;
    const std::size_t length = random() % (longest + 1);
    for (std::size_t i = 0; i < length; ++i) {
      const std::size_t pick = random() % (tokens.size() + (wildcards ? 2 : 0));
      if (pick >= tokens.size()) {
        text += pick == tokens.size() ? '*' : '?';
        continue;
      }
      text += tokens[pick].first;
      if (wide != nullptr) {
        *wide += tokens[pick].second;
      }
    }
    return text;
  };
  for (int round = 0; round < 40; ++round) {
    std::string file;
    for (int rule = 0; rule < 30; ++rule) {
      static constexpr std::array<std::string_view, 5> SECTIONS = {"", "autorun\t", "file\t",
                                                                   "hosts\t", "application\t"};
      std::string glob = text_of(6, true);
      if (glob.empty()) {
        glob = "*";
      }
      file += std::string(SECTIONS[random() % SECTIONS.size()]) + glob + "\n";
    }
    Exclusions rules;
    Exclusions::Error error;
    ASSERT_TRUE(rules.add_file(file, error)) << error.message;
    std::vector<bool> matched(rules.rules().size());
    for (int n = 0; n < 200; ++n) {
      std::u16string text;
      const std::string utf8 = text_of(8, false, &text);
      const std::size_t list = random() % REPORT_LIST_COUNT;
      const std::u16string key = text.substr(text.size() / 2);
      const ReportItem item = item_of(list, text, key, utf8);
      bool expected = false;
      for (std::size_t index = 0; index < rules.rules().size(); ++index) {
        const Exclusions::Rule& rule = rules.rules()[index];
        const Section section = item.kind().section;
        const bool hit =
            (!rule.section || *rule.section == section) &&
            (section == Section::hosts
                 ? glob_matches(rule.byte_glob, item.line, *folding)
                 : glob_matches(rule.glob, item.text, *folding) ||
                       (section == Section::application && glob_matches(rule.glob, item.key, *folding)));
        expected = expected || hit;
        matched[index] = matched[index] || hit;
      }
      ASSERT_EQ(rules.excludes(item, *folding), expected) << file << "\n" << utf8;
    }
    std::vector<std::size_t> unmatched;
    for (std::size_t index = 0; index < matched.size(); ++index) {
      if (!matched[index]) {
        unmatched.push_back(rules.rules()[index].line);
      }
    }
    EXPECT_EQ(rules.unmatched_lines(0), unmatched) << file;
  }
}

}  // namespace
}  // namespace tarvel
