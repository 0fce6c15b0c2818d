#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "compare/differences.h"
#include "image/loaded_image.h"

namespace tarvel {

// What part of an image a reported item belongs to, and how it changed.
enum class Section : std::uint8_t { autorun, application, hosts, file };
enum class Change : std::uint8_t { added, removed, modified, no_sha1, status };

// One of the nine lists of a report, in print order.
struct ReportList {
  Section section;
  Change change;
  std::u16string_view heading;  // as the text report prints it
  std::string_view section_name;
  std::string_view change_name;
};

inline constexpr std::size_t REPORT_LIST_COUNT = 9;
inline constexpr std::array<ReportList, REPORT_LIST_COUNT> REPORT_LISTS = {{
    {Section::autorun, Change::added, u"Autorun: New\n", "autorun", "added"},
    {Section::application, Change::added, u"Applications: New\n", "application", "added"},
    {Section::hosts, Change::added, u"Hosts: New\n", "hosts", "added"},
    {Section::autorun, Change::removed, u"Autorun: Removed\n", "autorun", "removed"},
    {Section::application, Change::removed, u"Applications: Removed\n", "application", "removed"},
    {Section::hosts, Change::removed, u"Hosts: Removed\n", "hosts", "removed"},
    {Section::file, Change::modified, u"Modified:\n", "file", "modified"},
    {Section::file, Change::no_sha1, u"No SHA1:\n", "file", "no_sha1"},
    {Section::file, Change::status, u"Changed status:\n", "file", "status"},
}};

// One member of one list, with what machine-readable output shows besides its text.
struct ReportItem {
  std::size_t list = 0;          // in REPORT_LISTS
  std::u16string_view text;      // an entry's path, or an application's label
  std::string_view line;         // a hosts line
  std::u16string_view key;       // an application's key
  const EntryTable* old_table = nullptr;  // the entries an entry path came from, where there is one
  const EntryRow* old_row = nullptr;
  const EntryTable* new_table = nullptr;
  const EntryRow* new_row = nullptr;

  const ReportList& kind() const { return REPORT_LISTS[list]; }
};

// Calls visit(item) for every member of every list, in print order. Without `with_entries`
// the items carry no entries, and the entry tables are not touched.
template <typename Visit>
void for_each_report_item(const Differences& differences, const LoadedImage& old_image,
                          const LoadedImage& new_image, Visit&& visit, bool with_entries = true) {
  const auto names = [&](std::size_t list, const NameSet& set) {
    set.for_each([&](std::u16string_view path, const NameSet::Member& member) {
      ReportItem item;
      item.list = list;
      item.text = path;
      if (with_entries && member.old_entry != NameSet::NO_ENTRY) {
        item.old_table = &old_image.entries;
        item.old_row = &old_image.entries[member.old_entry];
      }
      if (with_entries && member.new_entry != NameSet::NO_ENTRY) {
        item.new_table = &new_image.entries;
        item.new_row = &new_image.entries[member.new_entry];
      }
      visit(item);
    });
  };
  const auto apps = [&](std::size_t list, const std::vector<std::uint32_t>& members,
                        const AppList& from) {
    for (const std::uint32_t index : members) {
      ReportItem item;
      item.list = list;
      item.text = from.label(from[index]);
      item.key = from.key(from[index]);
      visit(item);
    }
  };
  const auto hosts = [&](std::size_t list, const HostsLines& lines, std::string_view text) {
    for (const HostsLine& line : lines) {
      ReportItem item;
      item.list = list;
      item.line = text.substr(line.offset, line.length);
      visit(item);
    }
  };
  names(0, differences.autorun_new);
  apps(1, differences.apps_new, new_image.apps);
  hosts(2, differences.hosts_new, new_image.hosts);
  names(3, differences.autorun_removed);
  apps(4, differences.apps_removed, old_image.apps);
  hosts(5, differences.hosts_removed, old_image.hosts);
  names(6, differences.modified);
  names(7, differences.no_sha1);
  names(8, differences.changed_status);
}

}  // namespace tarvel
