// Entry identity: the drive map, directory normalisation and full paths.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/entry_index.h"
#include "image/loaded_image.h"

namespace tarvel {

// The drive letter each letter A to Z stands for in new-image directories.
using DriveMap = std::array<char16_t, 26>;

DriveMap identity_drive_map();

// Upper-cases the first letter of a new-image directory (after a "\\?\" prefix) and, when it is
// a drive letter, maps it through the drive map. Changes at most one unit.
void normalise_directory(std::span<char16_t> directory, const DriveMap& drive_map);
// The same for a directory kept one byte a unit; false, with nothing changed, where its drive
// letter maps to a unit above 0xFF.
bool normalise_directory(std::span<unsigned char> directory, const DriveMap& drive_map);

// The entry's directory, one backslash and its name; the name alone when the directory is
// empty. Built whole however long.
void build_full_path(const EntryTable& table, const EntryRow& row, std::u16string& out);

}  // namespace tarvel
