#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvel {

// A bounds-checked little-endian cursor over untrusted bytes. Every read either consumes exactly
// what it asks for or fails and consumes nothing, so a caller can read a whole record with plain
// code and stop at the first false.
class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::size_t position() const { return position_; }
  std::size_t remaining() const { return data_.size() - position_; }
  bool at_end() const { return position_ == data_.size(); }

  bool read_u8(std::uint8_t& value) {
    if (remaining() < 1) {
      return false;
    }
    value = data_[position_++];
    return true;
  }
  bool read_u16(std::uint16_t& value) {
    if (remaining() < 2) {
      return false;
    }
    value = load_u16(data_.data() + position_);
    position_ += 2;
    return true;
  }
  bool read_u32(std::uint32_t& value) {
    if (remaining() < 4) {
      return false;
    }
    value = load_u32(data_.data() + position_);
    position_ += 4;
    return true;
  }
  bool read_u64(std::uint64_t& value) {
    if (remaining() < 8) {
      return false;
    }
    value = load_u64(data_.data() + position_);
    position_ += 8;
    return true;
  }
  // Lengths come from the file as u32 and are compared, never added, so nothing can wrap.
  bool skip(std::uint64_t count) {
    if (count > remaining()) {
      return false;
    }
    position_ += static_cast<std::size_t>(count);
    return true;
  }
  bool take(std::uint64_t count, std::span<const std::uint8_t>& out) {
    if (count > remaining()) {
      return false;
    }
    out = data_.subspan(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return true;
  }
  // A u32 byte count followed by that many bytes.
  bool take_prefixed(std::span<const std::uint8_t>& out) {
    const std::size_t start = position_;
    std::uint32_t count = 0;
    if (!read_u32(count) || !take(count, out)) {
      position_ = start;
      return false;
    }
    return true;
  }

  static std::uint16_t load_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
  }
  static std::uint32_t load_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  }
  static std::uint64_t load_u64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(load_u32(p)) |
           (static_cast<std::uint64_t>(load_u32(p + 4)) << 32);
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
};

}  // namespace tarvel
