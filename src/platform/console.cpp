// The buffered console and the encoding of wide text for it.
#include "platform/console.h"

#include "platform/utf16.h"

namespace tarvel {

namespace {

// Large enough that a report reaches the OS in few writes, small enough to stay in cache.
constexpr std::size_t FLUSH_THRESHOLD = 1 << 16;

}  // namespace

void WideEncoder::append(std::u16string_view text, std::string& out) const {
  for_each_character(text, [&](char32_t character, bool whole) {
    // Every locale encoding we run under keeps ASCII as it is; skip the locale for it.
    if (character < 0x80) {
      out.push_back(static_cast<char>(character));
      return;
    }
    char bytes[16];
    const std::size_t count = whole ? encoder_(character, bytes) : 0;
    if (count == 0) {
      out.push_back('?');
    } else {
      out.append(bytes, count);
    }
  });
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
