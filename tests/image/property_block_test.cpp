// Property blocks: items, the SHA1 value and blocks that run past their end.
#include <gtest/gtest.h>

#include <optional>

#include "image/property_block.h"
#include "image/sha1_value.h"
#include "testing/image_writer.h"
#include "testing/sha1_lookup.h"

namespace tarvel {
namespace {

using testing::Bytes;
using testing::concat;
using testing::property_item;
using testing::utf16le;

constexpr std::u16string_view VALUE_1 = u"0123456789abcdef0123456789abcdef01234567";
constexpr std::u16string_view VALUE_2 = u"fedcba9876543210fedcba9876543210fedcba98";

std::optional<std::u16string> lookup(const Bytes& block) {
  std::optional<std::u16string> whole = testing::sha1_value_in(block);
  // The block read in pieces of every size, as the loader meets it in its windows, gives the
  // same value, and the whole block is passed over. What the last block found is forgotten:
  // each read starts from a broken block's findings, with a value.
  PropertiesEnd fresh;
  testing::SpanSource whole_source(block, SIZE_MAX);
  WindowCursor whole_cursor(whole_source);
  EXPECT_TRUE(read_property_block(whole_cursor, static_cast<std::uint32_t>(block.size()), nullptr,
                                  fresh));
  for (std::size_t piece = 1; piece <= block.size(); piece += 7) {
    testing::SpanSource source(block, piece);
    WindowCursor cursor(source);
    PropertiesEnd end;
    end.sha1.found = true;
    end.sha1.bytes.fill(0x41);
    end.well_formed = false;
    EXPECT_TRUE(
        read_property_block(cursor, static_cast<std::uint32_t>(block.size()), nullptr, end));
    EXPECT_EQ(end.sha1.found ? std::optional(end.sha1.text()) : std::nullopt, whole) << piece;
    EXPECT_EQ(end.well_formed, fresh.well_formed) << piece;
    EXPECT_EQ(cursor.position(), block.size()) << piece;
  }
  return whole;
}

TEST(FindSha1Value, PicksTheFirstSha1ItemWithAnEightyTwoByteValue) {
  const Bytes short_value = property_item(utf16le(u"SHA1"), Bytes(80, 'a'));
  struct Case {
    const char* what;
    Bytes block;
    std::optional<std::u16string> expected;
  };
  const Case cases[] = {
      {"only item", testing::sha1_property(VALUE_1), std::u16string(VALUE_1)},
      {"after other names",
       concat({property_item(utf16le(u"Company"), utf16le(u"x")), testing::sha1_property(VALUE_1)}),
       std::u16string(VALUE_1)},
      {"80-byte value passed over", concat({short_value, testing::sha1_property(VALUE_2)}),
       std::u16string(VALUE_2)},
      {"first of two", concat({testing::sha1_property(VALUE_1), testing::sha1_property(VALUE_2)}),
       std::u16string(VALUE_1)},
      {"name with a unit after its NUL",
       property_item(utf16le(std::u16string_view(u"SHA1\0X", 6)), utf16le(VALUE_1)),
       std::u16string(VALUE_1)},
      {"name without NUL", property_item(utf16le(u"SHA1", false), utf16le(VALUE_1)),
       std::u16string(VALUE_1)},
      {"odd name size",
       property_item(concat({utf16le(u"SHA1", false), Bytes{0}}), utf16le(VALUE_1)),
       std::u16string(VALUE_1)},
      {"value without NUL is 41 units",
       property_item(utf16le(u"SHA1"), utf16le(std::u16string(VALUE_1) + u"Z", false)),
       std::u16string(VALUE_1) + u"Z"},
      {"short value text ends at its NUL",
       property_item(utf16le(u"SHA1"), concat({utf16le(u"abc"), Bytes(74, 0)})), u"abc"},
      {"lower case name", property_item(utf16le(u"sha1"), utf16le(VALUE_1)), std::nullopt},
      {"mixed case name", property_item(utf16le(u"Sha1"), utf16le(VALUE_1)), std::nullopt},
      {"hyphenated name", property_item(utf16le(u"SHA-1"), utf16le(VALUE_1)), std::nullopt},
      {"trailing blank", property_item(utf16le(u"SHA1 "), utf16le(VALUE_1)), std::nullopt},
      {"prefix of the name", property_item(utf16le(u"SHA"), utf16le(VALUE_1)), std::nullopt},
      {"only an 80-byte value", short_value, std::nullopt},
      {"empty block", Bytes{}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lookup(c.block), c.expected) << c.what;
  }
}

TEST(FindSha1Value, ItemsRunningPastTheBlockEndTheScan) {
  const Bytes good = testing::sha1_property(VALUE_1);
  // Every cut of a good item, alone or behind another item, must fail without reading past it.
  for (std::size_t size = 0; size < good.size(); ++size) {
    const Bytes cut(good.begin(), good.begin() + static_cast<long>(size));
    EXPECT_EQ(lookup(cut), std::nullopt) << size;
  }
  // A name size past the end stops the scan before a good item could be reached.
  Bytes lying = property_item(utf16le(u"Other"), utf16le(u"v"));
  testing::put_u32(lying, 0, 0xFFFFFFFF);
  EXPECT_EQ(lookup(concat({lying, good})), std::nullopt);
  // Items before a broken one were already looked at.
  EXPECT_EQ(lookup(concat({good, Bytes{1, 2, 3}})), std::u16string(VALUE_1));
}

// A value of forty digits in one case is kept as twenty bytes that give its text back; any
// other value is text. The vector path and the digit-at-a-time one agree wherever a wrong unit
// stands.
TEST(PackSha1, KeepsFortyDigitsOfOneCaseAsTwentyBytes) {
  const auto stored = [](std::u16string_view text, char16_t after) {
    std::array<std::uint8_t, SHA1_VALUE_SIZE> value{};
    for (std::size_t unit = 0; unit < text.size(); ++unit) {
      value[2 * unit] = static_cast<std::uint8_t>(text[unit] & 0xFF);
      value[2 * unit + 1] = static_cast<std::uint8_t>(text[unit] >> 8);
    }
    value[SHA1_VALUE_SIZE - 2] = static_cast<std::uint8_t>(after & 0xFF);
    value[SHA1_VALUE_SIZE - 1] = static_cast<std::uint8_t>(after >> 8);
    return value;
  };
  const auto check = [&](const std::u16string& text, char16_t after, Sha1Form expected) {
    const auto value = stored(text, after);
    PackedSha1 vector_packed{};
    PackedSha1 scalar_packed{};
    const Sha1Form form = pack_sha1(value, vector_packed);
    EXPECT_EQ(form, expected);
    EXPECT_EQ(pack_sha1_scalar(value, scalar_packed), form);
    if (form == Sha1Form::lower_hex || form == Sha1Form::upper_hex) {
      EXPECT_EQ(vector_packed, scalar_packed);
      std::u16string unpacked = u"room used before";
      unpack_sha1(form, vector_packed, unpacked);
      EXPECT_EQ(unpacked, text);
    }
  };
  const std::u16string lower(VALUE_1);
  const std::u16string upper = u"0123456789ABCDEF0123456789ABCDEF01234567";
  const std::u16string digits(40, u'9');
  check(lower, 0, Sha1Form::lower_hex);
  check(upper, 0, Sha1Form::upper_hex);
  check(digits, 0, Sha1Form::lower_hex);
  check(lower, u'0', Sha1Form::text);
  check(upper, 0x100, Sha1Form::text);
  const char16_t not_digits[] = {0, u'/', u':', u'@', u'G', u'`', u'g', 0xC1, 0x130, 0x161, 0xFF10};
  for (std::size_t unit = 0; unit < 40; ++unit) {
    SCOPED_TRACE(unit);
    for (const char16_t wrong : not_digits) {
      SCOPED_TRACE(static_cast<int>(wrong));
      std::u16string text = lower;
      text[unit] = wrong;
      check(text, 0, Sha1Form::text);
    }
    std::u16string text = digits;
    text[unit] = u'E';
    check(text, 0, Sha1Form::upper_hex);
    text[(unit + 1) % 40] = u'e';
    check(text, 0, Sha1Form::text);
    text = digits;
    text[unit] = u'f';
    check(text, 0, Sha1Form::lower_hex);
  }
}

}  // namespace
}  // namespace tarvel
