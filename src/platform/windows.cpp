// The platform layer on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/utf16.h"

namespace tarvel {

namespace {

// The code page of the locale chosen by set_up_locale_and_console. The character encoder is a
// plain function, so it reads the code page from here; CP_ACP until the locale is set up.
UINT locale_code_page = CP_ACP;
// False when the C runtime could not take the user's locale (the old runtime refuses a UTF-8
// system code page) and stayed in "C", whose case mappings know only ASCII.
bool runtime_took_user_locale = true;

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (is_open()) {
      ::CloseHandle(handle_);
    }
  }
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

// One ReadFile call may deliver less than asked, on network shares among others; the caller
// reads again until it has what it needs.
class WindowsInputFile final : public InputFile {
 public:
  WindowsInputFile(HANDLE handle, std::uint32_t size) : file_(handle), size_(size) {}

  std::uint32_t size() const override { return size_; }
  bool rewind() override {
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) != 0;
  }
  std::ptrdiff_t read(std::span<std::uint8_t> into) override {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(file_.get(), into.data(), wanted, &got, nullptr)) {
      return -1;
    }
    return static_cast<std::ptrdiff_t>(got);
  }

 private:
  FileHandle file_;
  std::uint32_t size_;
};

// The code page named after the '.' of a runtime locale name such as
// "English_United States.1252" or "English_United States.utf8"; 0 when it names none.
UINT code_page_of_locale_name(const char* name) {
  if (name == nullptr) {
    return 0;
  }
  const std::string_view text(name);
  const std::size_t dot = text.rfind('.');
  if (dot == std::string_view::npos) {
    return 0;
  }
  const std::string_view suffix = text.substr(dot + 1);
  if (suffix == "utf8" || suffix == "UTF8" || suffix == "utf-8" || suffix == "UTF-8") {
    return CP_UTF8;
  }
  if (suffix.empty() || suffix.size() > 5) {
    return 0;
  }
  UINT code_page = 0;
  for (const char digit : suffix) {
    if (digit < '0' || digit > '9') {
      return 0;
    }
    code_page = code_page * 10 + static_cast<UINT>(digit - '0');
  }
  return code_page;
}

std::size_t encode_for_code_page(char32_t character, char* out) {
  std::wstring units;
  append_utf16(units, character);
  const int unit_count = static_cast<int>(units.size());
  const UINT code_page = locale_code_page;
  // UTF-8 represents every character and refuses to report a default character; a failure
  // there can only be a character it rejects.
  const bool utf8 = code_page == CP_UTF8;
  BOOL used_default = FALSE;
  const int count =
      ::WideCharToMultiByte(code_page, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, units.data(),
                            unit_count, out, 8, nullptr, utf8 ? nullptr : &used_default);
  if (count <= 0 || used_default) {
    return 0;
  }
  return static_cast<std::size_t>(count);
}

// The code page described by the system's own decoder.
OutputEncoding encoding_of_code_page(UINT code_page) {
  if (code_page == CP_UTF8) {
    return OutputEncoding::utf8();
  }
  return OutputEncoding::code_page([code_page](std::string_view bytes) {
    wchar_t units[2];
    const int count = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(),
                                            static_cast<int>(bytes.size()), units, 2);
    if (count == 1) {
      return DecodedText{DecodedText::Kind::one_character, static_cast<char32_t>(units[0])};
    }
    if (count == 0 && bytes.size() == 1 &&
        ::IsDBCSLeadByteEx(code_page, static_cast<BYTE>(bytes[0]))) {
      return DecodedText{DecodedText::Kind::incomplete};
    }
    return DecodedText{DecodedText::Kind::invalid};
  });
}

// Output to a handle: standard output or error, or a file the program created.
class HandleConsole final : public BufferedConsole {
 public:
  HandleConsole(HANDLE output, bool owned, LineEnds line_ends)
      : BufferedConsole(&encode_for_code_page, encoding_of_code_page(locale_code_page)),
        output_(output),
        owned_(owned),
        line_ends_(line_ends) {}
  HandleConsole(const HandleConsole&) = delete;
  HandleConsole& operator=(const HandleConsole&) = delete;
  ~HandleConsole() override {
    flush();
    if (owned_) {
      ::CloseHandle(output_);
    }
  }

 protected:
  // In text output, line ends leave as CR LF, as a text-mode stream would write them; every
  // other byte is written as it is.
  bool deliver(std::string_view bytes) override {
    if (line_ends_ == LineEnds::as_written) {
      return write_all(bytes);
    }
    translated_.clear();
    translated_.reserve(bytes.size() + bytes.size() / 8);
    for (const char byte : bytes) {
      if (byte == '\n') {
        translated_.push_back('\r');
      }
      translated_.push_back(byte);
    }
    return write_all(translated_);
  }

 private:
  // A write that fails (a closed pipe, a full disk, no output at all) is reported, so that the
  // run does not end as a success with short output.
  bool write_all(std::string_view bytes) {
    if (output_ == nullptr || output_ == INVALID_HANDLE_VALUE) {
      fail("no output handle");
      return false;
    }
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!::WriteFile(output_, bytes.data(), chunk, &written, nullptr)) {
        fail(last_system_error());
        return false;
      }
      if (written == 0) {
        // A full pipe in non-blocking mode takes nothing and reports success: wait for its
        // reader.
        ::Sleep(1);
        continue;
      }
      bytes.remove_prefix(written);
    }
    return true;
  }

  HANDLE output_;
  bool owned_;
  LineEnds line_ends_;
  std::string translated_;
};

// A regular output file, written under a temporary name in the same folder and moved over its
// target on commit, so that the target is replaced whole or not at all.
class ReplacingFileConsole final : public Console {
 public:
  ReplacingFileConsole(HANDLE file, LineEnds line_ends, std::filesystem::path temporary,
                       std::filesystem::path target)
      : file_(std::make_unique<HandleConsole>(file, true, line_ends)),
        temporary_(std::move(temporary)),
        target_(std::move(target)) {}
  ~ReplacingFileConsole() override {
    if (file_) {
      file_.reset();
      ::DeleteFileW(temporary_.c_str());
    }
  }

  void write_wide(std::u16string_view text) override { file_->write_wide(text); }
  void write_bytes(std::string_view bytes) override { file_->write_bytes(bytes); }
  void flush() override { file_->flush(); }
  const OutputEncoding& output_encoding() const override { return file_->output_encoding(); }
  bool failed() const override { return !reason_.empty() || (file_ && file_->failed()); }
  std::string failure_reason() const override {
    return reason_.empty() && file_ ? file_->failure_reason() : reason_;
  }
  bool commit() override {
    if (!file_) {
      return !failed();
    }
    file_->flush();
    const bool written = !file_->failed();
    if (!written) {
      reason_ = file_->failure_reason();
    }
    file_.reset();  // closes the handle
    if (written && !::MoveFileExW(temporary_.c_str(), target_.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      reason_ = last_system_error();
    }
    if (!reason_.empty()) {
      ::DeleteFileW(temporary_.c_str());
      return false;
    }
    return true;
  }

 private:
  std::unique_ptr<HandleConsole> file_;
  std::filesystem::path temporary_;
  std::filesystem::path target_;
  std::string reason_;
};

}  // namespace

namespace {

// The checks every regular image file passes; `file` is handed on when it passes them.
OpenedFile open_disk_file(FileHandle& file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) {
    return {nullptr, OpenFailure::cannot_open, last_system_error()};
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > LARGEST_IMAGE_FILE) {
    return {nullptr, OpenFailure::too_large, {}};
  }
  if (size.QuadPart == 0) {
    return {nullptr, OpenFailure::empty, {}};
  }
  return {std::make_unique<WindowsInputFile>(file.release(),
                                             static_cast<std::uint32_t>(size.QuadPart)),
          OpenFailure::none, {}};
}

// A private file for a stream's bytes in the temporary folder, which the system deletes when
// its handle closes, however the program ends. Invalid, with the reason, when none can be made.
HANDLE make_spool_file(std::string& reason) {
  std::wstring folder(MAX_PATH + 1, L'\0');
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length > folder.size()) {
    reason = "no temporary folder: " + last_system_error();
    return INVALID_HANDLE_VALUE;
  }
  folder.resize(length);
  const HashKey random = random_hash_key();
  for (std::uint64_t attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[40];
    std::swprintf(name, 40, L"tarvel-stream-%016llx.tmp",
                  static_cast<unsigned long long>(random[0] + random[1] * attempt));
    const std::wstring path = folder + name;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) {
      continue;
    }
    if (file == INVALID_HANDLE_VALUE) {
      reason = "cannot make a temporary file: " + last_system_error();
    }
    return file;
  }
  reason = "no free temporary name";
  return INVALID_HANDLE_VALUE;
}

// Reads a pipe to its end into a spool file, which then stands for it.
OpenedFile spool_stream(HANDLE source, const StreamLimits& limits) {
  std::string reason;
  FileHandle spool(make_spool_file(reason));
  if (!spool.is_open()) {
    return {nullptr, OpenFailure::cannot_open, reason};
  }
  std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
  std::uint64_t total = 0;
  while (true) {
    DWORD got = 0;
    if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) {
        break;  // the writer closed its end
      }
      return {nullptr, OpenFailure::cannot_open, "cannot read it: " + last_system_error()};
    }
    if (got == 0) {
      break;
    }
    // Compared, never added: the count cannot wrap.
    if (got > limits.largest - total) {
      return {nullptr, OpenFailure::too_large, {}};
    }
    DWORD written = 0;
    for (DWORD done = 0; done < got; done += written) {
      if (!::WriteFile(spool.get(), buffer.data() + done, got - done, &written, nullptr) ||
          written == 0) {
        return {nullptr, OpenFailure::cannot_open,
                "cannot keep it in a temporary file: " + last_system_error()};
      }
    }
    total += got;
  }
  if (total == 0) {
    return {nullptr, OpenFailure::empty, {}};
  }
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(spool.get(), start, nullptr, FILE_BEGIN)) {
    return {nullptr, OpenFailure::cannot_open, last_system_error()};
  }
  return {std::make_unique<WindowsInputFile>(spool.release(), static_cast<std::uint32_t>(total)),
          OpenFailure::none, {}};
}

// Opens a path for reading: its handle, or INVALID_HANDLE_VALUE with why in `refused` (a
// directory is said to be one).
HANDLE open_path(const std::filesystem::path& path, OpenedFile& refused) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    return file;
  }
  // A directory cannot be opened as a file; say what it is.
  const std::string reason = last_system_error();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    refused = {nullptr, OpenFailure::not_regular, {}};
  } else {
    refused = {nullptr, OpenFailure::cannot_open, reason};
  }
  return INVALID_HANDLE_VALUE;
}

// Standard input through a handle of our own, which closing leaves open; INVALID_HANDLE_VALUE
// where there is none.
HANDLE own_standard_input() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  HANDLE own = INVALID_HANDLE_VALUE;
  if (input == nullptr || input == INVALID_HANDLE_VALUE ||
      !::DuplicateHandle(::GetCurrentProcess(), input, ::GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return INVALID_HANDLE_VALUE;
  }
  return own;
}

}  // namespace

OpenedFile open_input_file(const std::filesystem::path& path) {
  OpenedFile refused;
  FileHandle file(open_path(path, refused));
  if (!file.is_open()) {
    return refused;
  }
  // Pipes, consoles and devices are refused rather than waited on.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    return {nullptr, OpenFailure::not_regular, {}};
  }
  return open_disk_file(file);
}

OpenedFile open_input_stream(const std::filesystem::path* path, const StreamLimits& limits) {
  OpenedFile refused{nullptr, OpenFailure::cannot_open, "no standard input"};
  FileHandle file(path == nullptr ? own_standard_input() : open_path(*path, refused));
  if (!file.is_open()) {
    return refused;
  }
  switch (::GetFileType(file.get())) {
    case FILE_TYPE_DISK: {
      // Standard input redirected from a file may stand anywhere in it; the image is all of it.
      LARGE_INTEGER start{};
      if (path == nullptr && !::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
        return {nullptr, OpenFailure::cannot_open, last_system_error()};
      }
      return open_disk_file(file);
    }
    case FILE_TYPE_PIPE:
      // An anonymous or named pipe: opening it never waited, and reading it ends when its
      // writer closes its end.
      return spool_stream(file.get(), limits);
    default:
      return {nullptr, OpenFailure::not_regular, {}};  // a console or another device
  }
}

HashKey random_hash_key() {
  HashKey key{};
  if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(key.data()),
                                        static_cast<ULONG>(sizeof key),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    // No random source at all: a key that still differs from run to run is better than none.
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    key[0] = static_cast<std::uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15ULL;
    key[1] = static_cast<std::uint64_t>(::GetCurrentProcessId()) ^
             reinterpret_cast<std::uintptr_t>(&key);
  }
  return key;
}

void set_up_locale_and_console() {
  const char* const chosen = std::setlocale(LC_ALL, "");
  const char* const character_locale = std::setlocale(LC_CTYPE, nullptr);
  runtime_took_user_locale =
      chosen != nullptr && character_locale != nullptr && std::string_view(character_locale) != "C";
  // The runtime names its locales "Language_Country.CodePage"; the category that governs
  // character conversion carries the code page that text must be written in.
  UINT code_page = code_page_of_locale_name(character_locale);
  if (code_page == 0) {
    code_page = ::GetACP();
  }
  locale_code_page = code_page;
  // Fails harmlessly when the output is not a console.
  ::SetConsoleOutputCP(code_page);
}

bool initialise_framework() {
  return ::GetModuleHandleW(nullptr) != nullptr && ::GetCommandLineW() != nullptr;
}

std::unique_ptr<Console> make_stdout_console(LineEnds line_ends) {
  return std::make_unique<HandleConsole>(::GetStdHandle(STD_OUTPUT_HANDLE), false, line_ends);
}

std::unique_ptr<Console> make_stderr_console() {
  return std::make_unique<HandleConsole>(::GetStdHandle(STD_ERROR_HANDLE), false,
                                         LineEnds::native);
}

OpenedOutput make_file_console(const std::filesystem::path& path, LineEnds line_ends) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {nullptr, "is a directory"};
  }
  // A name of our own beside the target, so the move stays on one volume; CREATE_NEW never
  // takes over a file someone else made.
  const HashKey random = random_hash_key();
  for (std::uint64_t attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[32];
    std::swprintf(suffix, 32, L".tarvel-%016llx",
                  static_cast<unsigned long long>(random[0] + random[1] * attempt));
    std::filesystem::path temporary = path;
    temporary += suffix;
    const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) {
      continue;
    }
    if (file == INVALID_HANDLE_VALUE) {
      return {nullptr, last_system_error()};
    }
    return {std::make_unique<ReplacingFileConsole>(file, line_ends, std::move(temporary), path),
            {}};
  }
  return {nullptr, "no free temporary name beside it"};
}

std::optional<FileIdentity> identify_file(const std::filesystem::path& path) {
  // No access asked for: only the file's identity is read, whoever holds it open.
  FileHandle file(::CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file.is_open() || !::GetFileInformationByHandle(file.get(), &information)) {
    return std::nullopt;
  }
  return FileIdentity{information.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                          information.nFileIndexLow};
}

std::optional<FileIdentity> identify_standard_input() {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(::GetStdHandle(STD_INPUT_HANDLE), &information)) {
    return std::nullopt;  // closed, a console or a pipe: no file to write over
  }
  return FileIdentity{information.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                          information.nFileIndexLow};
}

std::string last_system_error() {
  const DWORD error = ::GetLastError();
  char* text = nullptr;
  // In the ANSI code page, which is the one the console is set to.
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length == 0 ? "error " + std::to_string(error) : std::string(text, length);
  if (text != nullptr) {
    ::LocalFree(text);
  }
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

std::optional<OutputEncoding> output_encoding_of_locale(const std::string& name) {
  const UINT code_page = code_page_of_locale_name(name.c_str());
  if (code_page == 0 || !::IsValidCodePage(code_page)) {
    return std::nullopt;
  }
  return encoding_of_code_page(code_page);
}

std::shared_ptr<const CaseFolding> system_case_folding(unsigned code_page) {
  // Every unit but NUL and the surrogate halves, which fold to themselves, in one call. The
  // system's lower case keeps one unit for one unit; should it not, the runtime's tables stand.
  std::wstring units;
  units.reserve(0x10000);
  for (std::uint32_t unit = 1; unit < 0x10000; ++unit) {
    if (unit < 0xD800 || unit > 0xDFFF) {
      units.push_back(static_cast<wchar_t>(unit));
    }
  }
  std::wstring lowered(units.size(), L'\0');
  const int size = static_cast<int>(units.size());
  if (::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_LOWERCASE, units.data(), size, lowered.data(),
                      size, nullptr, nullptr, 0) != size) {
    return CaseFolding::from_current_locale();
  }
  std::vector<char16_t> wide(0x10000);
  for (std::size_t unit = 0; unit < wide.size(); ++unit) {
    wide[unit] = static_cast<char16_t>(unit);
  }
  for (std::size_t i = 0; i < units.size(); ++i) {
    wide[static_cast<std::size_t>(units[i])] = static_cast<char16_t>(lowered[i]);
  }
  // A byte folds as the character it stands for alone in the code page, where the folded
  // character is again one byte there.
  std::array<unsigned char, 0x100> narrow{};
  for (std::size_t byte = 0; byte < narrow.size(); ++byte) {
    narrow[byte] = static_cast<unsigned char>(byte);
    const char alone = static_cast<char>(byte);
    wchar_t character = 0;
    if (::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, &alone, 1, &character, 1) != 1) {
      continue;
    }
    const wchar_t folded = static_cast<wchar_t>(wide[static_cast<std::size_t>(character)]);
    char back[8];
    BOOL used_default = FALSE;
    const bool utf8 = code_page == CP_UTF8;
    const int count =
        ::WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, &folded, 1, back,
                              sizeof back, nullptr, utf8 ? nullptr : &used_default);
    if (count == 1 && !used_default) {
      narrow[byte] = static_cast<unsigned char>(back[0]);
    }
  }
  return CaseFolding::from_tables(std::span<const char16_t, 0x10000>(wide.data(), 0x10000), narrow);
}

std::shared_ptr<const CaseFolding> make_case_folding() {
  if (runtime_took_user_locale) {
    return CaseFolding::from_current_locale();
  }
  return system_case_folding(locale_code_page);
}

}  // namespace tarvel
