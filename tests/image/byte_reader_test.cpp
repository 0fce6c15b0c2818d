// The typed, all-or-nothing reads of the window cursor, at every window size.
#include "image/byte_reader.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "testing/span_source.h"

namespace tarvel {
namespace {

// Ten bytes 0x00..0x09, read through windows of every size up to the whole: fields straddle
// windows, yet each read is whole or takes nothing, and fails at the limit or where the bytes end.
TEST(ByteReader, ReadsWholeFieldsOrNothing) {
  std::vector<std::uint8_t> bytes(10);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  struct Case {
    const char* what;
    std::uint64_t limit;
    bool dry;  // the last read fails because the bytes end, not at the limit
  };
  const Case cases[] = {{"limit inside the bytes", 9, false}, {"limit past the bytes", 12, true}};
  for (const Case& c : cases) {
    for (std::size_t window = 1; window <= bytes.size(); ++window) {
      SCOPED_TRACE(::testing::Message() << c.what << ", window " << window);
      testing::SpanSource source(bytes, window);
      WindowCursor cursor(source);
      ByteReader reader(cursor, c.limit);
      std::uint16_t word = 0;
      std::uint32_t dword = 0;
      ByteReader::Field field;
      ASSERT_TRUE(reader.read_u16(word));
      EXPECT_EQ(word, 0x0100);
      ASSERT_TRUE(reader.read_u32(dword));
      EXPECT_EQ(dword, 0x05040302U);
      EXPECT_EQ(reader.left(), c.limit - 6);
      // Four bytes remain before 10: too few for both limits' u32 at offset 7.
      ASSERT_TRUE(reader.read_bytes(1, field));
      EXPECT_FALSE(reader.read_u32(dword));
      EXPECT_EQ(dword, 0x05040302U) << "a failed read writes nothing";
      EXPECT_EQ(reader.ran_dry(), c.dry);
      EXPECT_EQ(reader.offset(), 7U) << "a failed read consumes nothing";
      ASSERT_TRUE(reader.read_bytes(2, field));
      EXPECT_EQ(std::vector(reader.bytes(field).begin(), reader.bytes(field).end()),
                (std::vector<std::uint8_t>{7, 8}));
      // Everything read so far is in one piece.
      EXPECT_EQ(std::vector(reader.record(), reader.record() + 9),
                std::vector(bytes.begin(), bytes.begin() + 9));
      reader.take();
      EXPECT_EQ(cursor.position(), 9U);
      EXPECT_EQ(reader.left(), c.limit - 9);
    }
  }
}

}  // namespace
}  // namespace tarvel
