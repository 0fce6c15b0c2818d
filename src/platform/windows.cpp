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
#include <clocale>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tarvel {

namespace {

// The code page of the locale chosen by set_up_locale_and_console. The character encoder is a
// plain function, so it reads the code page from here; CP_ACP until the locale is set up.
UINT locale_code_page = CP_ACP;

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
  wchar_t units[2];
  int unit_count = 1;
  if (character >= 0x10000) {
    units[0] = static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
    unit_count = 2;
  } else {
    units[0] = static_cast<wchar_t>(character);
  }
  const UINT code_page = locale_code_page;
  // UTF-8 represents every character and refuses to report a default character; a failure
  // there can only be a character it rejects.
  const bool utf8 = code_page == CP_UTF8;
  BOOL used_default = FALSE;
  const int count =
      ::WideCharToMultiByte(code_page, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, units,
                            unit_count, out, 8, nullptr, utf8 ? nullptr : &used_default);
  if (count <= 0 || used_default) {
    return 0;
  }
  return static_cast<std::size_t>(count);
}

class StdoutConsole final : public BufferedConsole {
 public:
  StdoutConsole()
      : BufferedConsole(&encode_for_code_page), output_(::GetStdHandle(STD_OUTPUT_HANDLE)) {}
  StdoutConsole(const StdoutConsole&) = delete;
  StdoutConsole& operator=(const StdoutConsole&) = delete;
  ~StdoutConsole() override { flush(); }

  void write_path(const std::filesystem::path& path) override {
    const std::wstring& native = path.native();
    std::u16string text;
    text.reserve(native.size());
    for (const wchar_t unit : native) {
      text.push_back(static_cast<char16_t>(unit));
    }
    write_wide(text);
  }

 protected:
  // Line ends leave as CR LF, as a text-mode stream would write them; every other byte is
  // written as it is.
  void deliver(std::string_view bytes) override {
    translated_.clear();
    translated_.reserve(bytes.size() + bytes.size() / 8);
    for (const char byte : bytes) {
      if (byte == '\n') {
        translated_.push_back('\r');
      }
      translated_.push_back(byte);
    }
    write_all(translated_);
  }

 private:
  void write_all(std::string_view bytes) {
    if (output_ == nullptr || output_ == INVALID_HANDLE_VALUE) {
      return;
    }
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!::WriteFile(output_, bytes.data(), chunk, &written, nullptr) || written == 0) {
        return;  // nowhere left to report to
      }
      bytes.remove_prefix(written);
    }
  }

  HANDLE output_;
  std::string translated_;
};

}  // namespace

OpenedFile open_input_file(const std::filesystem::path& path) {
  FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.is_open()) {
    return {nullptr, OpenFailure::cannot_open};
  }
  // Pipes, consoles and devices are refused rather than waited on.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    return {nullptr, OpenFailure::not_regular};
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) {
    return {nullptr, OpenFailure::cannot_open};
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > LARGEST_IMAGE_FILE) {
    return {nullptr, OpenFailure::too_large};
  }
  if (size.QuadPart == 0) {
    return {nullptr, OpenFailure::empty};
  }
  return {std::make_unique<WindowsInputFile>(file.release(),
                                             static_cast<std::uint32_t>(size.QuadPart)),
          OpenFailure::none};
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
  std::setlocale(LC_ALL, "");
  // The runtime names its locales "Language_Country.CodePage"; the category that governs
  // character conversion carries the code page that text must be written in.
  UINT code_page = code_page_of_locale_name(std::setlocale(LC_CTYPE, nullptr));
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

std::unique_ptr<Console> make_stdout_console() { return std::make_unique<StdoutConsole>(); }

}  // namespace tarvel
