// Entry identity: directory normalisation and full paths.
#include "compare/entry_identity.h"

#include <algorithm>
#include <optional>
#include <utility>

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

namespace {

// The unit normalisation gives the first letter of `directory` (after a long-path prefix), and
// where that unit is; nothing where it has no letter there.
template <typename Unit>
std::optional<std::pair<std::size_t, char16_t>> normalised_letter(std::span<const Unit> directory,
                                                                  const DriveMap& drive_map) {
  const auto is = [&](std::size_t at, char16_t unit) {
    return at < directory.size() && directory[at] == unit;
  };
  std::size_t at = 0;
  if (directory.size() >= LONG_PATH_PREFIX.size() &&
      std::equal(LONG_PATH_PREFIX.begin(), LONG_PATH_PREFIX.end(), directory.begin())) {
    at = LONG_PATH_PREFIX.size();
  }
  if (at >= directory.size()) {
    return std::nullopt;
  }
  char16_t unit = directory[at];
  if (unit >= u'a' && unit <= u'z') {
    unit = static_cast<char16_t>(unit - 0x20);
  }
  if (unit >= u'A' && unit <= u'Z' && is(at + 1, u':')) {
    unit = drive_map[static_cast<std::size_t>(unit - u'A')];
  }
  return std::pair{at, unit};
}

}  // namespace

void normalise_directory(std::span<char16_t> directory, const DriveMap& drive_map) {
  if (const auto letter = normalised_letter<char16_t>(directory, drive_map)) {
    directory[letter->first] = letter->second;
  }
}

bool normalise_directory(std::span<unsigned char> directory, const DriveMap& drive_map) {
  const auto letter = normalised_letter<unsigned char>(directory, drive_map);
  if (!letter) {
    return true;
  }
  if (letter->second > 0xFF) {
    return false;
  }
  directory[letter->first] = static_cast<unsigned char>(letter->second);
  return true;
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
