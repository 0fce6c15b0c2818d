#include <gtest/gtest.h>

#include "compare/hosts_and_apps.h"

namespace tarvel {
namespace {

HostsLines split(std::string_view text) {
  HostsLines lines = {"stale"};
  split_hosts_text(text, lines);
  return lines;
}

TEST(SplitHostsText, KeepsSignificantLinesInOrder) {
  using namespace std::string_view_literals;
  const std::pair<std::string_view, HostsLines> cases[] = {
      {"", {}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"  \t a b \t\n", {"a b \t"}},
      {"# comment\n  #indented comment\nx # kept\n", {"x # kept"}},
      {"\n\n \t \n\r\r\n", {}},
      // A CR is not skipped as a blank: the empty line it ends yields nothing.
      {"\r  a", {"a"}},
      {"one\0two\nthree"sv, {"one"}},
      {"no terminator at all", {"no terminator at all"}},
      {"dup\ndup\n", {"dup", "dup"}},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(split(text), expected) << text;
  }
}

TEST(CompareHostsLines, FoldsCaseAndKeepsEveryUnmatchedOccurrence) {
  const auto folding = CaseFolding::from_current_locale();
  const HostsLines source = {"10.0.0.1 Server", "new", "new", "1.2.3.4 x ", "kept"};
  const HostsLines other = {"10.0.0.1 SERVER", "1.2.3.4 x", "KEPT", "kept"};
  HostsLines target = {"earlier"};
  compare_hosts_lines(source, other, *folding, target);
  EXPECT_EQ(target, (HostsLines{"earlier", "new", "new", "1.2.3.4 x "}));

  HostsLines all;
  compare_hosts_lines(source, {}, *folding, all);
  EXPECT_EQ(all, source);
}

TEST(CompareApplications, MatchesKeysExactlyUpToTheirNul) {
  auto app = [](std::u16string key, std::u16string label) {
    AppRecord record;
    record.key = std::move(key);
    record.label = std::move(label);
    return record;
  };
  const std::vector<AppRecord> source = {app(u"{A}", u"same key"), app(u"{a}", u"case differs"),
                                         app(u"{B}", u"one"), app(u"{B}", u"two"),
                                         app(std::u16string(u"{C}\0junk", 8), u"junk after NUL")};
  const std::vector<AppRecord> other = {app(u"{A}", u"other label"), app(u"{C}", u"c")};
  AppList target;
  compare_applications(source, other, target);
  ASSERT_EQ(target.size(), 3u);
  EXPECT_EQ(target[0], &source[1]);
  EXPECT_EQ(target[1], &source[2]);
  EXPECT_EQ(target[2], &source[3]);

  AppList against_nothing;
  compare_applications(source, {}, against_nothing);
  EXPECT_EQ(against_nothing.size(), source.size());
  EXPECT_TRUE(application_absent(app(u"", u""), ApplicationKeys({})));
}

}  // namespace
}  // namespace tarvel
