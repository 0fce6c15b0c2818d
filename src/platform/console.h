// Standard output and standard error as the program writes to them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/output_encoding.h"

namespace tarvel {

// The program's standard output. Both channels write to one byte stream in call order.
class Console {
 public:
  Console() = default;
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  virtual ~Console() = default;

  // Wide text, converted character by character to the encoding of the user's locale; a
  // character that encoding cannot represent (a lone surrogate included) becomes '?'.
  virtual void write_wide(std::u16string_view text) = 0;
  // Bytes written unchanged.
  virtual void write_bytes(std::string_view bytes) = 0;
  virtual void flush() = 0;
  // What the bytes of the byte channel become on the terminal.
  virtual const OutputEncoding& output_encoding() const = 0;
  // True once some output could not be delivered: what was printed is incomplete.
  virtual bool failed() const = 0;
  // The system's words for why output failed, where it said.
  virtual std::string failure_reason() const { return {}; }
  // Makes what was written final; for an output file, puts it in place of the file it replaces,
  // which until then stays as it was. False, with failure_reason(), when that cannot be done.
  // Output that is never committed is thrown away.
  virtual bool commit() {
    flush();
    return !failed();
  }
};

// Writes nothing; for runs whose output nobody reads.
class DiscardingConsole final : public Console {
 public:
  void write_wide(std::u16string_view) override {}
  void write_bytes(std::string_view) override {}
  void flush() override {}
  const OutputEncoding& output_encoding() const override { return encoding_; }
  bool failed() const override { return false; }

 private:
  OutputEncoding encoding_ = OutputEncoding::utf8();
};

// Turns one Unicode scalar value into the bytes of the user's locale encoding. Returns the
// number of bytes written to out (at most 8), or 0 when the locale cannot represent it.
using CharacterEncoder = std::size_t (*)(char32_t character, char* out);

// Converts wide text into a byte buffer with a CharacterEncoder, pairing surrogates into one
// character. Shared by the real consoles of every platform and by tests.
class WideEncoder {
 public:
  explicit WideEncoder(CharacterEncoder encoder) : encoder_(encoder) {}
  void append(std::u16string_view text, std::string& out) const;

 private:
  // Text without ASCII, through the locale's encoder character by character.
  void append_characters(std::u16string_view text, std::string& out) const;

  CharacterEncoder encoder_;
};

// A console that buffers both channels into one byte stream and hands full buffers to a sink.
// Once the sink fails, nothing more is handed to it.
class BufferedConsole : public Console {
 public:
  BufferedConsole(CharacterEncoder encoder, const OutputEncoding& encoding)
      : encoder_(encoder), encoding_(encoding) {}
  ~BufferedConsole() override = default;

  void write_wide(std::u16string_view text) override;
  void write_bytes(std::string_view bytes) override;
  void flush() override;
  const OutputEncoding& output_encoding() const override { return encoding_; }
  bool failed() const override { return failed_; }
  std::string failure_reason() const override { return failure_reason_; }

 protected:
  // Receives the buffered bytes in order; false when they could not all be delivered.
  virtual bool deliver(std::string_view bytes) = 0;
  // Called by deliver() or commit() when the system gave a reason for a failure.
  void fail(std::string reason) {
    failed_ = true;
    if (failure_reason_.empty()) {
      failure_reason_ = std::move(reason);
    }
  }
  std::string& buffer() { return buffer_; }
  void flush_if_full();

 private:
  WideEncoder encoder_;
  OutputEncoding encoding_;
  std::string buffer_;
  bool failed_ = false;
  std::string failure_reason_;
};

}  // namespace tarvel
