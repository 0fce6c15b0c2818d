#include "platform/console.h"

namespace tarvel {

namespace {

// Large enough that a report reaches the OS in few writes, small enough to stay in cache.
constexpr std::size_t FLUSH_THRESHOLD = 1 << 16;

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void WideEncoder::append(std::u16string_view text, std::string& out) const {
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    const char16_t unit = text[i];
    // Every locale encoding we run under keeps ASCII as it is; skip the locale for it.
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
      continue;
    }
    char32_t character = unit;
    if (is_high_surrogate(unit)) {
      if (i + 1 < size && is_low_surrogate(text[i + 1])) {
        character = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                    (static_cast<char32_t>(text[i + 1]) - 0xDC00);
        ++i;
      } else {
        out.push_back('?');
        continue;
      }
    } else if (is_low_surrogate(unit)) {
      out.push_back('?');
      continue;
    }
    char bytes[16];
    const std::size_t count = encoder_(character, bytes);
    if (count == 0) {
      out.push_back('?');
    } else {
      out.append(bytes, count);
    }
  }
}

void BufferedConsole::write_wide(std::u16string_view text) {
  encoder_.append(text, buffer_);
  flush_if_full();
}

void BufferedConsole::write_bytes(std::string_view bytes) {
  buffer_.append(bytes);
  flush_if_full();
}

void BufferedConsole::flush() {
  if (!buffer_.empty() && !failed_) {
    failed_ = !deliver(buffer_);
  }
  buffer_.clear();
}

void BufferedConsole::flush_if_full() {
  if (buffer_.size() >= FLUSH_THRESHOLD) {
    flush();
  }
}

}  // namespace tarvel
