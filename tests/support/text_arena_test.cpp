// The text arena: chunk sizes, empty texts and many full chunks.
#include "support/text_arena.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tarvel {
namespace {

// Past the point where chunks stop doubling, with texts that fill a chunk exactly and empty
// texts right after them.
TEST(TextArena, KeepsEveryTextAcrossManyChunksEmptyOnesToo) {
  TextArena arena;
  std::vector<std::pair<std::uint32_t, std::u16string>> kept;
  for (std::size_t i = 0; i < 70; ++i) {
    const std::u16string full(TextArena::CHUNK_UNITS, static_cast<char16_t>(u'a' + i % 26));
    kept.emplace_back(arena.store(full), full);
    kept.emplace_back(arena.store(u""), u"");
    kept.emplace_back(arena.store(u"short"), u"short");
  }
  for (const auto& [handle, text] : kept) {
    ASSERT_EQ(arena.view(handle, text.size()), text);
  }
}

// Through the first chunk's doublings and into later chunks, every element reads back as
// pushed, and an array moved away from is left empty and usable.
TEST(ChunkedArray, KeepsEveryElementThroughGrowthAndMoves) {
  using Array = ChunkedArray<std::uint32_t, 8>;
  Array array;
  const std::size_t count = 3 * Array::CHUNK_SIZE + 5;
  for (std::uint32_t i = 0; i < count; ++i) {
    ASSERT_EQ(array.push_back(i * 7), i * 7);
  }
  Array moved(std::move(array));
  EXPECT_EQ(array.size(), 0u);  // NOLINT(bugprone-use-after-move): its state is what is tested
  moved.push_back(99);
  array.push_back(1);
  ASSERT_EQ(moved.size(), count + 1);
  for (std::uint32_t i = 0; i < count; ++i) {
    ASSERT_EQ(moved[i], i * 7) << i;
  }
  EXPECT_EQ(moved[count], 99u);
  array = std::move(moved);
  EXPECT_EQ(array.size(), count + 1);
  EXPECT_EQ(array[0], 0u);
}

}  // namespace
}  // namespace tarvel
