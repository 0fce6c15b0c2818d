// Hosts lines and applications compared in both directions.
#include "compare/hosts_and_apps.h"

#include <cstring>

#include "compare/hosts_lines.h"
#include "support/id_table.h"

namespace tarvel {

namespace {

std::string_view line_text(std::string_view text, const HostsLine& line) {
  return text.substr(line.offset, line.length);
}

bool same_folded(std::string_view left, std::string_view right, const CaseFolding& folding) {
  if (left.size() != right.size()) {
    return false;
  }
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (folding.fold_byte(static_cast<unsigned char>(left[i])) !=
        folding.fold_byte(static_cast<unsigned char>(right[i]))) {
      return false;
    }
  }
  return true;
}


}  // namespace

HostsLines split_hosts_text(std::string_view hosts_text) {
  HostsLines lines;
  HostsLine line{0, 0};
  const auto end_line = [&] {
    lines.push_back(line);
    line.length = 0;
  };
  HostsLineSplitter splitter;
  splitter.feed(
      hosts_text,
      [&](std::string_view part) {
        // The whole text comes in one piece: a line comes in one part.
        line.offset = static_cast<std::uint32_t>(part.data() - hosts_text.data());
        line.length = static_cast<std::uint32_t>(part.size());
      },
      end_line);
  splitter.finish(end_line);
  return lines;
}

namespace {

// One set difference in both directions with a single table: the old members go into it, each
// new member is looked up (and marks the old member it equals), and an old member is gone when
// no new member marked the first old member equal to it.
template <typename HashOld, typename HashNew, typename SameOld, typename SameOldNew>
void differ_both_ways(std::size_t old_count, std::size_t new_count, HashOld hash_old,
                      HashNew hash_new, SameOld same_old, SameOldNew same_old_new,
                      std::vector<std::uint32_t>& added, std::vector<std::uint32_t>& removed) {
  IdTable table(old_count);
  std::vector<std::uint32_t> first_equal(old_count);
  table.for_each_hashed(old_count, hash_old, [&](std::size_t index, std::uint64_t hash) {
    const auto id = static_cast<std::uint32_t>(index);
    first_equal[index] =
        table.find_or_insert(hash, id, [&](std::uint32_t held) { return same_old(held, id); });
  });
  std::vector<std::uint8_t> matched(old_count, 0);
  table.for_each_hashed(new_count, hash_new, [&](std::size_t index, std::uint64_t hash) {
    const auto id = static_cast<std::uint32_t>(index);
    const std::uint32_t match =
        table.find(hash, [&](std::uint32_t held) { return same_old_new(held, id); });
    if (match == IdTable::NONE) {
      added.push_back(id);
    } else {
      matched[match] = 1;
    }
  });
  for (std::size_t index = 0; index < old_count; ++index) {
    if (matched[first_equal[index]] == 0) {
      removed.push_back(static_cast<std::uint32_t>(index));
    }
  }
}

}  // namespace

void compare_hosts_lines(std::string_view old_text, const HostsLines& old_lines,
                         std::string_view new_text, const HostsLines& new_lines,
                         const CaseFolding& folding, const TableHash& hash, HostsLines& added,
                         HostsLines& removed) {
  const auto old_line = [&](std::size_t index) { return line_text(old_text, old_lines[index]); };
  const auto new_line = [&](std::size_t index) { return line_text(new_text, new_lines[index]); };
  std::vector<std::uint32_t> added_lines;
  std::vector<std::uint32_t> removed_lines;
  differ_both_ways(
      old_lines.size(), new_lines.size(),
      [&](std::size_t index) { return hash.folded_bytes(old_line(index), folding.byte_table()); },
      [&](std::size_t index) { return hash.folded_bytes(new_line(index), folding.byte_table()); },
      [&](std::uint32_t left, std::uint32_t right) {
        return same_folded(old_line(left), old_line(right), folding);
      },
      [&](std::uint32_t left, std::uint32_t right) {
        return same_folded(old_line(left), new_line(right), folding);
      },
      added_lines, removed_lines);
  for (const std::uint32_t index : added_lines) {
    added.push_back(new_lines[index]);
  }
  for (const std::uint32_t index : removed_lines) {
    removed.push_back(old_lines[index]);
  }
}

void compare_applications(const AppList& old_apps, const AppList& new_apps, const TableHash& hash,
                          std::vector<std::uint32_t>& added, std::vector<std::uint32_t>& removed) {
  const auto old_key = [&](std::size_t index) { return old_apps.key(old_apps[index]); };
  const auto new_key = [&](std::size_t index) { return new_apps.key(new_apps[index]); };
  differ_both_ways(
      old_apps.size(), new_apps.size(),
      [&](std::size_t index) { return hash.units(old_key(index)); },
      [&](std::size_t index) { return hash.units(new_key(index)); },
      [&](std::uint32_t left, std::uint32_t right) { return old_key(left) == old_key(right); },
      [&](std::uint32_t left, std::uint32_t right) { return old_key(left) == new_key(right); },
      added, removed);
}

}  // namespace tarvel
