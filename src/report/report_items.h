// The nine lists of a report, their names, and the items of a comparison in print order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "compare/differences.h"
#include "image/loaded_image.h"

namespace tarvel {

// What part of an image a reported item belongs to, and how it changed.
enum class Section : std::uint8_t { autorun, application, hosts, file };
enum class Change : std::uint8_t { added, removed, modified, no_sha1, status };

// The sections by the names every output and the rules files use, in report order.
inline constexpr std::array<std::string_view, 4> SECTION_NAMES = {"autorun", "application",
                                                                   "hosts", "file"};
constexpr std::string_view name_of(Section section) {
  return SECTION_NAMES[static_cast<std::size_t>(section)];
}

// One of the nine lists of a report, in print order.
struct ReportList {
  Section section;
  Change change;
  std::u16string_view heading;  // as the text report prints it
  std::string_view change_name;

  constexpr std::string_view section_name() const { return name_of(section); }
};

inline constexpr std::size_t REPORT_LIST_COUNT = 9;
inline constexpr std::array<ReportList, REPORT_LIST_COUNT> REPORT_LISTS = {{
    {Section::autorun, Change::added, u"Autorun: New\n", "added"},
    {Section::application, Change::added, u"Applications: New\n", "added"},
    {Section::hosts, Change::added, u"Hosts: New\n", "added"},
    {Section::autorun, Change::removed, u"Autorun: Removed\n", "removed"},
    {Section::application, Change::removed, u"Applications: Removed\n", "removed"},
    {Section::hosts, Change::removed, u"Hosts: Removed\n", "removed"},
    {Section::file, Change::modified, u"Modified:\n", "modified"},
    {Section::file, Change::no_sha1, u"No SHA1:\n", "no_sha1"},
    {Section::file, Change::status, u"Changed status:\n", "status"},
}};

// Which of an item's SHA1 values are in a set of hashes known to be bad.
enum class KnownBad : std::uint8_t { none, old_value, new_value, both };

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
  KnownBad known_bad = KnownBad::none;  // set by whoever holds the sets

  const ReportList& kind() const { return REPORT_LISTS[list]; }
  // The SHA1 value an item's old or new entry has, where it has an entry with one.
  std::optional<std::u16string> sha1(bool of_old) const {
    std::u16string value;
    if (!sha1(of_old, value)) {
      return std::nullopt;
    }
    return value;
  }
  // The same, written over `value`; false, leaving `value` alone, where there is none.
  bool sha1(bool of_old, std::u16string& value) const {
    const EntryTable* table = of_old ? old_table : new_table;
    const EntryRow* row = of_old ? old_row : new_row;
    if (row == nullptr || row->sha1_form == Sha1Form::none) {
      return false;
    }
    table->sha1_text(*row, value);
    return true;
  }
  // The same value as the 20 bytes it was packed into, where it was (see EntryTable).
  const PackedSha1* packed_sha1(bool of_old) const {
    const EntryRow* row = of_old ? old_row : new_row;
    return row == nullptr ? nullptr : (of_old ? old_table : new_table)->packed_sha1(*row);
  }
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
