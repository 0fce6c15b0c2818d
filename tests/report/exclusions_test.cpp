#include <gtest/gtest.h>

#include "report/exclusions.h"

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

TEST(Exclusions, RulesNameTheirSectionAndBadFilesSayWhichLine) {
  const auto folding = CaseFolding::from_current_locale();
  Exclusions rules;
  Exclusions::Error error;
  ASSERT_TRUE(Exclusions::parse("# noise\r\n\r\n  \nfile\t*.tmp\r\napplication\t{KB*}\n*\\Temp\\*",
                                rules, error));
  const auto item = [](std::size_t list, std::u16string_view text, std::u16string_view key = {}) {
    ReportItem made;
    made.list = list;
    made.text = text;
    made.key = key;
    return made;
  };
  EXPECT_TRUE(rules.excludes(item(6, u"C:\\x.TMP"), *folding));        // file section
  EXPECT_FALSE(rules.excludes(item(0, u"C:\\x.tmp"), *folding));       // autorun: not that rule
  EXPECT_TRUE(rules.excludes(item(1, u"Update", u"{kb123}"), *folding));  // by key
  EXPECT_TRUE(rules.excludes(item(3, u"C:\\Users\\Temp\\run.exe"), *folding));  // any section
  ReportItem line = item(2, u"");
  line.line = "1.2.3.4 a\\temp\\b";
  EXPECT_TRUE(rules.excludes(line, *folding));

  const std::pair<std::string_view, std::size_t> broken[] = {
      {"ok\nregistry\t*\n", 2}, {"file\t\n", 1}, {"# c\n\n*\n\xFF\xFE\n", 4}};
  for (const auto& [text, line_number] : broken) {
    EXPECT_FALSE(Exclusions::parse(text, rules, error)) << text;
    EXPECT_EQ(error.line, line_number) << text;
  }
}

}  // namespace
}  // namespace tarvel
