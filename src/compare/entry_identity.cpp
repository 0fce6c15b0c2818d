// Entry identity: directory normalisation and full paths.
#include "compare/entry_identity.h"

#include <algorithm>

namespace tarvel {

namespace {

constexpr std::u16string_view LONG_PATH_PREFIX = u"\\\\?\\";

}  // namespace

DriveMap identity_drive_map() {
  DriveMap map{};
  for (std::size_t letter = 0; letter < map.size(); ++letter) {
    map[letter] = static_cast<char16_t>(u'A' + letter);
  }
  return map;
}

void normalise_directory(std::span<char16_t> directory, const DriveMap& drive_map) {
  if (directory.empty()) {
    return;
  }
  const std::u16string_view text(directory.data(), directory.size());
  const std::size_t at = text.starts_with(LONG_PATH_PREFIX) ? LONG_PATH_PREFIX.size() : 0;
  if (at >= directory.size()) {
    return;
  }
  char16_t& unit = directory[at];
  if (unit >= u'a' && unit <= u'z') {
    unit = static_cast<char16_t>(unit - 0x20);
  }
  if (unit >= u'A' && unit <= u'Z' && at + 1 < directory.size() && directory[at + 1] == u':') {
    unit = drive_map[static_cast<std::size_t>(unit - u'A')];
  }
}

void build_full_path(const EntryTable& table, const EntryRow& row, std::u16string& out) {
  out.clear();
  const TextView directory = table.directory(row);
  if (!directory.empty()) {
    directory.append_to(out);
    out.push_back(u'\\');
  }
  table.name(row).append_to(out);
}

}  // namespace tarvel
