// Typed, all-or-nothing reads of the fields ahead of a window cursor.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/little_endian.h"
#include "image/window_cursor.h"
#include "support/always_inline.h"

namespace tarvel {

// Reads fields in order from the cursor's position, up to a limit (the end of the file, or of
// the entry section). Every read either reads its whole field and passes it, or consumes
// nothing and fails, leaving offset() at the field's start: because the field would end past
// the limit, or because the source ended first (ran_dry()). Lengths are compared with what is
// left, never added to an offset, so nothing can wrap.
//
// The bytes read stay readable in one piece at record() until take() moves the cursor past
// them, so that a record can be handed on whole; a field that straddles two windows is
// assembled first. A reader holds at most WindowCursor::ASSEMBLY_CAPACITY bytes: a field that
// would end past that fails as past the limit.
class ByteReader {
 public:
  // Where a field read by read_bytes() lies in record().
  struct Field {
    std::size_t at = 0;
    std::size_t size = 0;
  };

  ByteReader(WindowCursor& cursor, std::uint64_t limit)
      : cursor_(cursor), left_(limit - std::min(limit, cursor.position())), room_(room_for(left_)) {}
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  bool read_u16(std::uint16_t& value) {
    if (!fits(2)) {
      return false;
    }
    value = load_u16(cursor_.data() + read_);
    read_ += 2;
    return true;
  }
  TARVEL_INLINE bool read_u32(std::uint32_t& value) {
    if (!fits(4)) {
      return false;
    }
    value = load_u32(cursor_.data() + read_);
    read_ += 4;
    return true;
  }
  TARVEL_INLINE bool read_bytes(std::size_t count, Field& field) {
    if (!fits(count)) {
      return false;
    }
    field = {read_, count};
    read_ += count;
    return true;
  }

  // Where the next field starts, from the first byte of the source.
  std::uint64_t offset() const { return cursor_.position() + read_; }
  // Bytes between the next field and the limit.
  std::uint64_t left() const { return left_ - read_; }
  bool ran_dry() const { return ran_dry_; }

  // The bytes read so far, in one piece; valid until the next read or take().
  const std::uint8_t* record() const { return cursor_.data(); }
  std::span<const std::uint8_t> bytes(const Field& field) const {
    return {cursor_.data() + field.at, field.size};
  }
  // Moves the cursor past the bytes read; the reader then starts again at the new position.
  void take() {
    cursor_.advance(read_);
    left_ -= read_;
    room_ = room_for(left_);
    read_ = 0;
  }

 private:
  static std::size_t room_for(std::uint64_t left) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(left, WindowCursor::ASSEMBLY_CAPACITY));
  }
  TARVEL_INLINE bool fits(std::size_t count) {
    if (count > room_ - read_) {
      return false;
    }
    if (!cursor_.ensure(read_ + count)) {
      ran_dry_ = true;
      return false;
    }
    return true;
  }

  WindowCursor& cursor_;
  std::uint64_t left_;  // bytes from the cursor's position to the limit
  std::size_t room_;    // bytes the reader may hold: up to the limit or the assembly's size
  std::size_t read_ = 0;
  bool ran_dry_ = false;
};

}  // namespace tarvel
