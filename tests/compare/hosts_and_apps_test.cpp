// Hosts lines and applications: splitting, matching and what is reported.
#include <gtest/gtest.h>

#include "compare/hosts_and_apps.h"
#include "compare/hosts_lines.h"

namespace tarvel {
namespace {

const TableHash HASH({3, 5});

std::vector<std::string_view> split(std::string_view text) {
  std::vector<std::string_view> lines;
  for (const HostsLine& line : split_hosts_text(text)) {
    lines.push_back(text.substr(line.offset, line.length));
  }
  return lines;
}

TEST(SplitHostsText, KeepsSignificantLinesInOrder) {
  using namespace std::string_view_literals;
  using Lines = std::vector<std::string_view>;
  const std::pair<std::string_view, Lines> cases[] = {
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
    // Fed in pieces of any size, as the dump streams it, the splitter cuts the same lines.
    for (std::size_t size = 1; size <= text.size(); ++size) {
      std::vector<std::string> lines(1);
      HostsLineSplitter splitter;
      const auto end = [&] { lines.emplace_back(); };
      for (std::size_t at = 0; at < text.size(); at += size) {
        splitter.feed(text.substr(at, size), [&](std::string_view part) { lines.back() += part; },
                      end);
      }
      splitter.finish(end);
      lines.pop_back();
      EXPECT_EQ(lines, std::vector<std::string>(expected.begin(), expected.end()))
          << text << " in pieces of " << size;
    }
  }
}

// The lines of a text that has one line per element, and the text itself.
struct HostsText {
  std::string text;
  HostsLines lines;
};

HostsText hosts_of(std::initializer_list<std::string_view> lines) {
  HostsText hosts;
  for (const std::string_view line : lines) {
    hosts.text.append(line);
    hosts.text.push_back('\n');
  }
  hosts.lines = split_hosts_text(hosts.text);
  return hosts;
}

std::vector<std::string_view> lines_of(const HostsText& hosts, const HostsLines& lines) {
  std::vector<std::string_view> out;
  for (const HostsLine& line : lines) {
    out.push_back(std::string_view(hosts.text).substr(line.offset, line.length));
  }
  return out;
}

TEST(CompareHostsLines, FoldsCaseAndKeepsEveryUnmatchedOccurrence) {
  const auto folding = CaseFolding::from_current_locale();
  const HostsText old_hosts = hosts_of({"10.0.0.1 SERVER", "1.2.3.4 x", "KEPT", "kept", "gone", "Gone"});
  const HostsText new_hosts = hosts_of({"10.0.0.1 Server", "new", "new", "1.2.3.4 x ", "kept"});
  HostsLines added = {{0, 0}};
  HostsLines removed;
  compare_hosts_lines(old_hosts.text, old_hosts.lines, new_hosts.text, new_hosts.lines, *folding,
                      HASH, added, removed);
  ASSERT_EQ(added.size(), 4u);
  added.erase(added.begin());
  EXPECT_EQ(lines_of(new_hosts, added), (std::vector<std::string_view>{"new", "new", "1.2.3.4 x "}));
  EXPECT_EQ(lines_of(old_hosts, removed), (std::vector<std::string_view>{"1.2.3.4 x", "gone", "Gone"}));

  // Lines longer than the table hash's keys are hashed another way, and fold all the same.
  const std::string long_line(4 * TableHash::KEY_WORDS + 3, 'h');
  std::string shouted = long_line;
  shouted[shouted.size() - 1] = 'H';
  const HostsText long_old = hosts_of({long_line, long_line + "x"});
  const HostsText long_new = hosts_of({shouted, long_line + "y"});
  HostsLines long_added;
  HostsLines long_removed;
  compare_hosts_lines(long_old.text, long_old.lines, long_new.text, long_new.lines, *folding, HASH,
                      long_added, long_removed);
  EXPECT_EQ(long_added.size(), 1u);
  EXPECT_EQ(long_removed.size(), 1u);

  HostsLines all;
  HostsLines none;
  compare_hosts_lines("", {}, new_hosts.text, new_hosts.lines, *folding, HASH, all, none);
  EXPECT_EQ(lines_of(new_hosts, all), lines_of(new_hosts, new_hosts.lines));
  EXPECT_TRUE(none.empty());
}

AppList apps_of(std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> apps) {
  AppList list;
  for (const auto& [key, label] : apps) {
    AppRow row;
    row.key = static_cast<std::uint32_t>(list.texts().size());
    row.key_length = static_cast<std::uint32_t>(key.size());
    list.texts().insert(list.texts().end(), key.begin(), key.end());
    row.label = static_cast<std::uint32_t>(list.texts().size());
    row.label_length = static_cast<std::uint32_t>(label.size());
    list.texts().insert(list.texts().end(), label.begin(), label.end());
    list.rows().push_back(row);
  }
  return list;
}

TEST(CompareApplications, MatchesKeysExactly) {
  const AppList new_apps = apps_of({{u"{A}", u"same key"},
                                    {u"{a}", u"case differs"},
                                    {u"{B}", u"one"},
                                    {u"{B}", u"two"},
                                    {u"{C}", u"c"}});
  const AppList old_apps = apps_of({{u"{A}", u"other label"}, {u"{C}", u"c"}, {u"{D}", u"d"}});
  std::vector<std::uint32_t> added;
  std::vector<std::uint32_t> removed;
  compare_applications(old_apps, new_apps, HASH, added, removed);
  EXPECT_EQ(added, (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(removed, (std::vector<std::uint32_t>{2}));

  std::vector<std::uint32_t> against_nothing;
  std::vector<std::uint32_t> nothing_removed;
  compare_applications(AppList{}, new_apps, HASH, against_nothing, nothing_removed);
  EXPECT_EQ(against_nothing.size(), new_apps.size());
  // An empty key is a key like any other once the other list has applications.
  std::vector<std::uint32_t> empty_key;
  std::vector<std::uint32_t> empty_key_removed;
  compare_applications(apps_of({{u"", u"x"}}), apps_of({{u"", u"no key"}}), HASH, empty_key,
                       empty_key_removed);
  EXPECT_TRUE(empty_key.empty());
  EXPECT_TRUE(empty_key_removed.empty());
}

}  // namespace
}  // namespace tarvel
