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

}  // namespace
}  // namespace tarvel
