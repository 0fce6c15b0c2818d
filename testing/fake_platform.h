// A platform for tests: files in memory, a fixed key, captured output.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testing/capture_console.h"
#include "testing/image_writer.h"

namespace tarvel::testing {

// A file as the fake platform serves it: its bytes, and how reading it can go wrong.
struct FakeFile {
  std::span<const std::uint8_t> bytes;  // what the file holds; empty: refused as empty
  OpenFailure refuse = OpenFailure::none;
  std::size_t largest_read = SIZE_MAX;  // one read delivers at most this many bytes
  std::optional<std::size_t> ends_at;   // the file shrank: reading stops after this many bytes
  std::optional<std::size_t> fails_at;  // the system reports an error at this offset
  std::shared_ptr<const Bytes> owned;   // keeps the bytes alive when the fake owns them
  // What a second reading from the start finds: the file was changed in place meanwhile.
  std::shared_ptr<const Bytes> after_rewind;
  std::string reason = "No such file or directory";  // when refused as cannot_open
  // A pipe or FIFO: open_file refuses it as not regular; open_stream serves its bytes.
  bool stream = false;
  // Views of the file can be had, as where the system maps files. Bytes past ends_at read as
  // zeros in a view and mark the file cut short; a view that reaches fails_at is refused.
  bool viewable = false;
  // Called, on the reading thread, before each read with the offset it reads from, and when
  // the opened file is closed.
  std::function<void(std::size_t)> on_read;
  std::function<void()> on_close;
};

// Reads a FakeFile front to back. The bytes are copied out exactly, never more.
class FakeInputFile final : public InputFile {
 public:
  explicit FakeInputFile(const FakeFile& file) : file_(file) {}
  FakeInputFile(const FakeInputFile&) = delete;
  FakeInputFile& operator=(const FakeInputFile&) = delete;
  ~FakeInputFile() override {
    if (file_.on_close) {
      file_.on_close();
    }
  }
  std::uint32_t size() const override { return static_cast<std::uint32_t>(file_.bytes.size()); }
  bool rewind() override;
  std::ptrdiff_t read(std::span<std::uint8_t> into) override;
  bool seek(std::uint64_t offset) override {
    at_ = static_cast<std::size_t>(offset);
    return true;
  }
  std::span<const std::uint8_t> view(ViewSlot slot, std::uint64_t offset,
                                     std::size_t length) override;
  bool cut_short() const override { return cut_short_; }

 private:
  FakeFile file_;
  std::size_t at_ = 0;
  std::atomic<bool> cut_short_ = false;
  // Each slot's view where the file no longer holds all its bytes.
  std::array<Bytes, VIEW_SLOTS> views_;
};

OpenedFile open_fake_file(const FakeFile& file);

// The platform of every in-process test: files in memory, output captured, a framework start
// that can be made to fail, and a fixed hash key that a test can change. It records what the
// program asks of it.
class FakePlatform final : public Platform {
 public:
  // Case mappings of the locale current when it is made, unless others are given.
  explicit FakePlatform(const CaseFolding* folding = nullptr);

  // A file whose bytes the platform keeps.
  void add_file(const std::string& path, Bytes bytes);
  void add_file(const std::string& path, FakeFile file) { files[path] = std::move(file); }

  void set_up_locale_and_console() override { ++set_ups; }
  bool initialise_framework() override {
    framework_started_after_set_up = set_ups == 1;
    return framework_works;
  }
  OpenedFile open_file(const std::filesystem::path& path) override;
  // Standard input (a null path) is `standard_input`; opens are recorded as open_file's are,
  // standard input as "(standard input)".
  OpenedFile open_stream(const std::filesystem::path* path) override;
  Console& console() override { return console_; }
  Console& error_console() override { return errors_; }
  // Each name is a file of its own, unless `same_files` says two names are one file.
  std::optional<FileIdentity> identify(const std::filesystem::path& path) override;
  // The file named by `standard_input_file`, where a test says standard input reads one.
  std::optional<FileIdentity> identify_standard_input() override {
    return standard_input_file.empty() ? std::nullopt : identify(standard_input_file);
  }
  // An output file's bytes land in `written` only when the run commits them.
  OpenedOutput open_output(const std::filesystem::path* file, LineEnds line_ends) override;
  const CaseFolding& case_folding() override { return *folding_; }
  // The hash key is asked for before the images load: where a test says so, memory runs out
  // there, which the programs say where comparing would start.
  HashKey hash_key() override {
    if (out_of_memory_when_comparing) {
      throw std::bad_alloc();
    }
    return key;
  }

  // Everything printed, wide text as UTF-8.
  std::string output() { return console_.text(); }
  std::string error_output() { return errors_.text(); }
  // From now on standard output delivers nothing, as with a closed pipe or a full disk.
  void break_output() { console_.break_output(); }

  std::map<std::string, FakeFile> files;
  std::optional<FakeFile> standard_input;  // none: standard input is closed
  std::string standard_input_file;         // the name of the file it was redirected from
  bool framework_works = true;
  bool out_of_memory_when_comparing = false;
  HashKey key = {0x0123456789ABCDEFULL, 0xFEDCBA9876543210ULL};
  int set_ups = 0;
  bool framework_started_after_set_up = false;
  std::vector<std::string> opened;
  // Output files: what was committed to each.
  std::map<std::string, std::string> written;
  bool output_files_refused = false;
  // Names that are links to another name's file.
  std::map<std::string, std::string> same_files;
  // What had reached standard output when each file was opened.
  std::vector<std::string> delivered_before_opens;

 private:
  std::shared_ptr<const CaseFolding> own_folding_;
  const CaseFolding* folding_;
  CaptureConsole console_;
  CaptureConsole errors_;
};

}  // namespace tarvel::testing
