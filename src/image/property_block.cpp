// Property blocks: their items, and the SHA1 value among them.
#include "image/property_block.h"

#include "image/little_endian.h"
#include "image/stored_text.h"

#include <cstring>

namespace tarvel {

namespace {

constexpr std::uint32_t SIZE_FIELD = 4;
// Enough of a name to tell "SHA1" and its NUL from anything else.
constexpr std::size_t NAME_PREFIX = (SHA1_PROPERTY_NAME.size() + 1) * 2;

// The reading interface of WindowCursor over a block that lies in one piece already.
class SpanCursor {
 public:
  SpanCursor(const std::uint8_t* data, std::size_t size, std::uint64_t position)
      : data_(data), size_(size), start_(position) {}

  std::uint64_t position() const { return start_ + at_; }
  bool ensure(std::size_t count) const { return count <= size_ - at_; }
  const std::uint8_t* data() const { return data_ + at_; }
  void advance(std::size_t count) { at_ += count; }
  bool skip(std::uint64_t count) {
    return consume(count, [](std::span<const std::uint8_t>) {});
  }
  template <typename Piece>
  bool consume(std::uint64_t count, Piece&& piece) {
    if (count > size_ - at_) {
      return false;
    }
    piece(std::span<const std::uint8_t>(data(), static_cast<std::size_t>(count)));
    at_ += static_cast<std::size_t>(count);
    return true;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::uint64_t start_;
  std::size_t at_ = 0;
};

// The units of a stored name up to its first NUL unit are exactly "SHA1"; an odd last byte is
// no unit. Only the first NAME_PREFIX bytes can decide it.
bool is_sha1_name(std::span<const std::uint8_t> prefix) {
  std::size_t unit = 0;
  for (; unit * 2 + 1 < prefix.size(); ++unit) {
    const char16_t value = load_u16(prefix.data() + unit * 2);
    if (value == 0) {
      break;
    }
    if (unit >= SHA1_PROPERTY_NAME.size() || value != SHA1_PROPERTY_NAME[unit]) {
      return false;
    }
  }
  return unit == SHA1_PROPERTY_NAME.size();
}

void take_value(const std::uint8_t* value, Sha1Value& out) {
  out.found = true;
  std::memcpy(out.bytes.data(), value, SHA1_VALUE_SIZE);
}

template <typename Cursor>
bool hand_over(Cursor& cursor, RecordSink* items, RunKind kind, std::size_t index,
               std::uint32_t size) {
  if (items == nullptr) {
    return cursor.skip(size);
  }
  items->run_start({kind, index, size, cursor.position()});
  const bool whole =
      cursor.consume(size, [&](std::span<const std::uint8_t> piece) { items->run_piece(piece); });
  items->run_end();
  return whole;
}

// A u32 size of a run that must end within the `left` bytes of the block after it; moves past
// the size field. False, moving nowhere, when the item does not fit.
template <typename Cursor>
bool read_size(Cursor& cursor, std::uint32_t& left, std::uint32_t& size) {
  if (left < SIZE_FIELD || !cursor.ensure(SIZE_FIELD)) {
    return false;
  }
  size = load_u32(cursor.data());
  if (size > left - SIZE_FIELD) {
    return false;
  }
  cursor.advance(SIZE_FIELD);
  left -= SIZE_FIELD;
  return true;
}

// Forgets what the last block found; a value's bytes count only where it was found, so they
// are left as they are.
void start_afresh(PropertiesEnd& out) {
  out.sha1.found = false;
  out.well_formed = true;
}

template <typename Cursor>
bool read_items(Cursor& cursor, std::uint32_t size, RecordSink* items, PropertiesEnd& out) {
  start_afresh(out);
  std::uint32_t left = size;
  for (std::size_t index = 0; left != 0; ++index) {
    std::uint32_t name_size = 0;
    if (!read_size(cursor, left, name_size)) {
      out.well_formed = false;
      break;
    }
    const std::size_t prefix = std::min<std::size_t>(name_size, NAME_PREFIX);
    if (!cursor.ensure(prefix)) {
      return false;
    }
    const bool sha1_name = is_sha1_name({cursor.data(), prefix});
    if (!hand_over(cursor, items, RunKind::property_name, index, name_size)) {
      return false;
    }
    left -= name_size;

    std::uint32_t value_size = 0;
    if (!read_size(cursor, left, value_size)) {
      out.well_formed = false;
      break;
    }
    if (!out.sha1.found && sha1_name && value_size == SHA1_VALUE_SIZE) {
      if (!cursor.ensure(SHA1_VALUE_SIZE)) {
        return false;
      }
      take_value(cursor.data(), out.sha1);
    }
    if (!hand_over(cursor, items, RunKind::property_value, index, value_size)) {
      return false;
    }
    left -= value_size;
  }
  return cursor.skip(left);
}

// "SHA1" as the first eight bytes of a stored name.
constexpr std::uint64_t SHA1_NAME_WORD = 0x0031'0041'0048'0053ULL;

// The reading of read_items for a block in one piece whose items nobody wants, in one tight
// loop: most blocks of most images are read this way.
void scan_in_place(const std::uint8_t* at, std::uint32_t left, PropertiesEnd& out) {
  start_afresh(out);
  while (left != 0) {
    if (left < SIZE_FIELD || load_u32(at) > left - SIZE_FIELD) {
      out.well_formed = false;
      return;
    }
    const std::uint32_t name_size = load_u32(at);
    const std::uint8_t* name = at + SIZE_FIELD;
    left -= SIZE_FIELD + name_size;
    at = name + name_size;
    if (left < SIZE_FIELD || load_u32(at) > left - SIZE_FIELD) {
      out.well_formed = false;
      return;
    }
    const std::uint32_t value_size = load_u32(at);
    // The name's units up to its first NUL are "SHA1": its first four units are, and a fifth,
    // where there is one, is NUL.
    if (!out.sha1.found && value_size == SHA1_VALUE_SIZE && name_size >= 8 &&
        load_u64(name) == SHA1_NAME_WORD && (name_size < NAME_PREFIX || load_u16(name + 8) == 0)) {
      take_value(at + SIZE_FIELD, out.sha1);
    }
    left -= SIZE_FIELD + value_size;
    at += SIZE_FIELD + value_size;
  }
}

}  // namespace

std::u16string Sha1Value::text() const {
  if (!found) {
    return {};
  }
  std::array<char16_t, SHA1_VALUE_UNITS> units{};
  return {units.data(), copy_text_units(bytes, units.data())};
}

bool read_property_block(WindowCursor& cursor, std::uint32_t size, RecordSink* items,
                         PropertiesEnd& out) {
  // Most blocks lie within the window being read: read them in place.
  if (items == nullptr && cursor.available() >= size) {
    scan_in_place(cursor.data(), size, out);
    cursor.advance(size);
    return true;
  }
  if (cursor.available() >= size) {
    SpanCursor block(cursor.data(), size, cursor.position());
    read_items(block, size, items, out);
    cursor.advance(size);
    return true;
  }
  return read_items(cursor, size, items, out);
}

}  // namespace tarvel
