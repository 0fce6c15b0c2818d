// The fake platform's files and their reading.
#include "testing/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarvel::testing {

std::ptrdiff_t FakeInputFile::read(std::span<std::uint8_t> into) {
  if (file_.on_read) {
    file_.on_read(at_);
  }
  if (file_.fails_at && at_ >= *file_.fails_at) {
    return -1;
  }
  std::size_t end = std::min(file_.bytes.size(), file_.ends_at.value_or(SIZE_MAX));
  if (file_.fails_at) {
    end = std::min(end, *file_.fails_at);
  }
  const std::size_t count = std::min({into.size(), file_.largest_read, end - std::min(end, at_)});
  if (count != 0) {
    std::memcpy(into.data(), file_.bytes.data() + at_, count);
  }
  at_ += count;
  return static_cast<std::ptrdiff_t>(count);
}

std::span<const std::uint8_t> FakeInputFile::view(ViewSlot slot, std::uint64_t offset,
                                                  std::size_t length) {
  const auto at = static_cast<std::size_t>(offset);
  if (length == 0 || !file_.viewable || (file_.fails_at && at + length > *file_.fails_at)) {
    return {};
  }
  if (file_.on_read) {
    file_.on_read(at);
  }
  const std::size_t end = std::min(file_.bytes.size(), file_.ends_at.value_or(SIZE_MAX));
  if (at + length <= end) {
    return file_.bytes.subspan(at, length);
  }
  cut_short_ = true;
  Bytes& view = views_[static_cast<std::size_t>(slot)];
  view.assign(length, 0);
  if (at < end) {
    std::copy(file_.bytes.begin() + static_cast<std::ptrdiff_t>(at),
              file_.bytes.begin() + static_cast<std::ptrdiff_t>(end), view.begin());
  }
  return view;
}

bool FakeInputFile::rewind() {
  at_ = 0;
  if (file_.after_rewind) {
    file_.bytes = *file_.after_rewind;
    file_.owned = file_.after_rewind;
  }
  return true;
}

OpenedFile open_fake_file(const FakeFile& file) {
  if (file.refuse != OpenFailure::none) {
    return {nullptr, file.refuse, file.refuse == OpenFailure::cannot_open ? file.reason : ""};
  }
  if (file.bytes.empty()) {
    return {nullptr, OpenFailure::empty, {}};
  }
  return {std::make_unique<FakeInputFile>(file), OpenFailure::none, {}};
}

FakePlatform::FakePlatform(const CaseFolding* folding) : folding_(folding) {
  if (folding_ == nullptr) {
    own_folding_ = CaseFolding::from_current_locale();
    folding_ = own_folding_.get();
  }
}

void FakePlatform::add_file(const std::string& path, Bytes bytes) {
  FakeFile file;
  file.owned = std::make_shared<const Bytes>(std::move(bytes));
  file.bytes = *file.owned;
  files[path] = std::move(file);
}

namespace {

// Output that lands in a string of the fake platform's when committed, or on its standard
// output.
class StringConsole final : public BufferedConsole {
 public:
  // Standard output, or the file `name` of `files`.
  explicit StringConsole(CaptureConsole* standard_output)
      : BufferedConsole(&encode_utf8, OutputEncoding::utf8()), out_(standard_output) {}
  StringConsole(std::map<std::string, std::string>* files, std::string name)
      : BufferedConsole(&encode_utf8, OutputEncoding::utf8()), files_(files), name_(std::move(name)) {}
  StringConsole(const StringConsole&) = delete;
  StringConsole& operator=(const StringConsole&) = delete;
  ~StringConsole() override { flush(); }

  bool commit() override {
    flush();
    if (files_ != nullptr && !failed()) {
      (*files_)[name_] = std::move(pending_);
    }
    return !failed();
  }

 protected:
  bool deliver(std::string_view bytes) override {
    if (files_ != nullptr) {
      pending_.append(bytes);
      return true;
    }
    out_->write_bytes(bytes);
    out_->flush();
    return !out_->failed();
  }

 private:
  std::map<std::string, std::string>* files_ = nullptr;
  std::string name_;
  CaptureConsole* out_ = nullptr;
  std::string pending_;
};

}  // namespace

std::optional<FileIdentity> FakePlatform::identify(const std::filesystem::path& path) {
  std::string name = path.string();
  if (const auto link = same_files.find(name); link != same_files.end()) {
    name = link->second;
  }
  if (files.count(name) == 0 && written.count(name) == 0) {
    return std::nullopt;
  }
  return FileIdentity{0, std::hash<std::string>{}(name)};
}

OpenedOutput FakePlatform::open_output(const std::filesystem::path* file, LineEnds) {
  if (file == nullptr) {
    return {std::make_unique<StringConsole>(&console_), {}};
  }
  if (output_files_refused) {
    return {nullptr, "Permission denied"};
  }
  return {std::make_unique<StringConsole>(&written, file->string()), {}};
}

OpenedFile FakePlatform::open_file(const std::filesystem::path& path) {
  opened.push_back(path.string());
  delivered_before_opens.push_back(console_.delivered());
  const auto found = files.find(path.string());
  if (found == files.end()) {
    return {nullptr, OpenFailure::cannot_open, "No such file or directory"};
  }
  if (found->second.stream) {
    return {nullptr, OpenFailure::not_regular, {}};
  }
  return open_fake_file(found->second);
}

OpenedFile FakePlatform::open_stream(const std::filesystem::path* path) {
  if (path != nullptr) {
    // A stream is read as a file would be: the real platform spools it to one.
    const auto found = files.find(path->string());
    const bool stream = found != files.end() && std::exchange(found->second.stream, false);
    OpenedFile file = open_file(*path);
    if (stream) {
      found->second.stream = true;
    }
    return file;
  }
  opened.emplace_back("(standard input)");
  delivered_before_opens.push_back(console_.delivered());
  if (!standard_input) {
    return {nullptr, OpenFailure::cannot_open, "Bad file descriptor"};
  }
  return open_fake_file(*standard_input);
}

}  // namespace tarvel::testing
