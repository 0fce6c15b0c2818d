// The buffered console and the encoding of wide text for it.
#include "platform/console.h"

#include "platform/utf16.h"

namespace tarvel {

namespace {

// Large enough that a report reaches the OS in few writes, small enough to stay in cache.
constexpr std::size_t FLUSH_THRESHOLD = 1 << 16;

}  // namespace

void WideEncoder::append(std::u16string_view text, std::string& out) const {
  // Every locale encoding we run under keeps ASCII as it is: runs of it, most of any report,
  // skip the locale and go over a run at a time.
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t ascii_end = at;
    while (ascii_end < text.size() && text[ascii_end] < 0x80) {
      ++ascii_end;
    }
    const std::size_t filled = out.size();
    out.resize(filled + (ascii_end - at));
    for (std::size_t unit = at; unit < ascii_end; ++unit) {
      out[filled + unit - at] = static_cast<char>(text[unit]);
    }
    // Surrogates are not ASCII: a pair always falls in one run of the rest.
    std::size_t rest_end = ascii_end;
    while (rest_end < text.size() && text[rest_end] >= 0x80) {
      ++rest_end;
    }
    append_characters(text.substr(ascii_end, rest_end - ascii_end), out);
    at = rest_end;
  }
}

void WideEncoder::append_characters(std::u16string_view text, std::string& out) const {
  for_each_character(text, [&](char32_t character, bool whole) {
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
