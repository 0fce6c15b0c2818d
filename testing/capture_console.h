// A console that collects what is written, for tests.
#pragma once

#include <string>

#include "platform/console.h"

namespace tarvel::testing {

// Encodes as UTF-8, the encoding most tests expect.
std::size_t encode_utf8(char32_t character, char* out);

// Collects everything written, wide text as UTF-8, in call order.
class CaptureConsole final : public BufferedConsole {
 public:
  CaptureConsole() : BufferedConsole(&encode_utf8, OutputEncoding::utf8()) {}
  const std::string& text() {
    flush();
    return captured_;
  }
  // What has been delivered so far, without flushing.
  const std::string& delivered() const { return captured_; }
  // From now on nothing is delivered, as with a closed pipe or a full disk; or, with false, the
  // sink takes bytes again.
  void break_output(bool broken = true) { broken_ = broken; }

 protected:
  bool deliver(std::string_view bytes) override {
    if (broken_) {
      return false;
    }
    captured_.append(bytes);
    return true;
  }

 private:
  std::string captured_;
  bool broken_ = false;
};

inline std::size_t encode_utf8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

}  // namespace tarvel::testing
