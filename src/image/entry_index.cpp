#include "image/entry_index.h"

namespace tarvel {

bool same_key(const EntryTable& table, const EntryRow& row, const EntryTable& other_table,
              const EntryRow& other_row) {
  return row.name_length == other_row.name_length &&
         table.name(row) == other_table.name(other_row) &&
         table.directory(row) == other_table.directory(other_row);
}

EntryIndex::EntryIndex(const EntryTable& table, const TableHash& table_hash)
    : table_(&table), hash_(&table_hash), ids_(table.size()), first_of_key_(table.size()) {
  ids_.for_each_hashed(
      table.size(), [&](std::size_t index) { return hash(key_of(table, table[index])); },
      [&](std::size_t index, std::uint64_t hashed) {
        enter(static_cast<std::uint32_t>(index), hashed);
      });
}

EntryIndex::EntryIndex(const EntryTable& table, const TableHash& table_hash, Growing)
    : table_(&table), hash_(&table_hash) {}

void EntryIndex::enter(std::uint32_t index, std::uint64_t hashed) {
  const EntryKey key = key_of(*table_, (*table_)[index]);
  // An equal key already indexed has the lower index; it is the one lookups must find.
  first_of_key_[index] =
      ids_.find_or_insert(hashed, index, [&](std::uint32_t other) { return matches(other, key); });
}

void EntryIndex::add(std::uint64_t hashed) {
  const auto index = static_cast<std::uint32_t>(first_of_key_.size());
  first_of_key_.push_back(IdTable::NONE);
  if (queued_ == QUEUED) {
    const auto [waiting, waiting_hash] = queue_[index % QUEUED];
    enter(waiting, waiting_hash);
    --queued_;
  }
  ids_.prefetch(hashed);
  queue_[index % QUEUED] = {index, hashed};
  ++queued_;
}

void EntryIndex::flush() {
  // The waiting rows are the last ones added, oldest first.
  const auto count = static_cast<std::uint32_t>(first_of_key_.size());
  for (std::uint32_t index = count - static_cast<std::uint32_t>(queued_); index < count; ++index) {
    enter(index, queue_[index % QUEUED].second);
  }
  queued_ = 0;
}

bool EntryIndex::matches(std::uint32_t index, const EntryKey& key) const {
  const EntryRow& row = (*table_)[index];
  return table_->name(row) == key.name && table_->directory(row) == key.directory;
}

std::uint32_t EntryIndex::find(const EntryKey& key) const {
  return ids_.find(hash(key), [&](std::uint32_t held) { return matches(held, key); });
}

}  // namespace tarvel
