// A file read twice, the second reading held to the bytes of the first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/input_file.h"

namespace tarvel {

// Reads one open file twice and holds that the second reading sees the bytes the first saw. The
// first reading keeps the length and SHA-256 digest of every read; in the second, each read is
// checked against its twin before its bytes are handed on, so bytes that changed in between
// never reach the caller: the read fails instead, and changed() tells why.
class RereadCheck final : public InputFile {
 public:
  explicit RereadCheck(InputFile& file) : file_(file) {}

  std::uint32_t size() const override { return file_.size(); }
  // Ends the first reading and starts the second from the first byte.
  bool rewind() override;
  std::ptrdiff_t read(std::span<std::uint8_t> into) override;

  // The second reading found other bytes than the first, or fewer or more of them.
  bool changed() const { return changed_ || (second_ && next_ != reads_.size()); }

 private:
  struct Read {
    std::ptrdiff_t count;
    std::array<std::uint8_t, 32> digest;
  };

  InputFile& file_;
  std::vector<Read> reads_;
  bool second_ = false;
  bool changed_ = false;
  std::size_t next_ = 0;
};

}  // namespace tarvel
