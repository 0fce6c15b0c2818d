// The packed SHA-1 set and its loader for files of one value a line and for CSV.
#include "app/hash_set.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace tarvel {

namespace {

constexpr std::size_t BUCKETS = std::size_t{1} << 16;
constexpr std::size_t SHA1_DIGITS = 2 * SHA1_SIZE;

std::size_t bucket_of(const Sha1& hash) {
  return (std::size_t{hash[0]} << 8) | std::size_t{hash[1]};
}

// Eight bytes as one number that orders as the bytes do (compilers make this one load and a
// byte swap).
std::uint64_t big_endian_at(const Sha1& hash, std::size_t at, std::size_t count = 8) {
  std::uint64_t value = 0;
  for (std::size_t byte = at; byte < at + count; ++byte) {
    value = (value << 8) | hash[byte];
  }
  return value;
}

// The order of the set. An object, not a function, so that the sorts and searches inline it.
constexpr auto sha1_less = [](const Sha1& a, const Sha1& b) {
  for (const std::size_t at : {std::size_t{0}, std::size_t{8}}) {
    const std::uint64_t a_part = big_endian_at(a, at);
    const std::uint64_t b_part = big_endian_at(b, at);
    if (a_part != b_part) {
      return a_part < b_part;
    }
  }
  return big_endian_at(a, 16, 4) < big_endian_at(b, 16, 4);
};

// Runs this short are sorted by insertion; longer ones are partitioned by their next byte.
constexpr std::size_t SHORT_RUN = 32;

// Moves every value into the run of its byte at `byte`, in place (American flag sort); `starts`
// gets where each of the 256 runs starts, and the end. With 256 runs, the places written to
// advance through the array as 256 streams that stay in the cache.
void partition_by_byte(std::span<Sha1> hashes, std::size_t byte,
                       std::array<std::size_t, 257>& starts) {
  starts.fill(0);
  for (const Sha1& hash : hashes) {
    ++starts[std::size_t{hash[byte]} + 1];
  }
  for (std::size_t run = 0; run < 256; ++run) {
    starts[run + 1] += starts[run];
  }
  std::array<std::size_t, 256> next;
  std::copy(starts.begin(), starts.end() - 1, next.begin());
  for (std::size_t run = 0; run < 256; ++run) {
    while (next[run] < starts[run + 1]) {
      Sha1& here = hashes[next[run]];
      const std::size_t home = here[byte];
      if (home == run) {
        ++next[run];
      } else {
        const Sha1 moved = here;
        here = hashes[next[home]];
        hashes[next[home]++] = moved;
      }
    }
  }
}

// The value of one hexadecimal digit, or 16 for anything else.
constexpr std::array<std::uint8_t, 256> HEX_VALUES = [] {
  std::array<std::uint8_t, 256> values{};
  values.fill(16);
  for (std::uint8_t digit = 0; digit < 10; ++digit) {
    values[static_cast<std::size_t>('0' + digit)] = digit;
  }
  for (std::uint8_t letter = 0; letter < 6; ++letter) {
    values[static_cast<std::size_t>('a' + letter)] = static_cast<std::uint8_t>(10 + letter);
    values[static_cast<std::size_t>('A' + letter)] = static_cast<std::uint8_t>(10 + letter);
  }
  return values;
}();

unsigned hex_value(char unit) { return HEX_VALUES[static_cast<unsigned char>(unit)]; }
unsigned hex_value(char16_t unit) { return unit < HEX_VALUES.size() ? HEX_VALUES[unit] : 16u; }

// Reads exactly 40 hexadecimal digits; false for anything else. Units are bytes or UTF-16.
template <typename Unit>
bool parse_sha1(std::basic_string_view<Unit> text, Sha1& out) {
  if (text.size() != SHA1_DIGITS) {
    return false;
  }
  unsigned bad = 0;
  for (std::size_t at = 0; at < SHA1_SIZE; ++at) {
    const unsigned high_value = hex_value(text[2 * at]);
    const unsigned low_value = hex_value(text[2 * at + 1]);
    bad |= (high_value | low_value) & 16u;
    out[at] = static_cast<std::uint8_t>((high_value << 4) | (low_value & 15u));
  }
  return bad == 0;
}

}  // namespace

void HashSet::add(std::span<const std::uint8_t, SHA1_SIZE> hash) {
  // The index holds 32-bit places.
  if (hashes_.size() >= std::numeric_limits<std::uint32_t>::max()) {
    throw std::bad_alloc();
  }
  Sha1& added = hashes_.emplace_back();
  std::copy(hash.begin(), hash.end(), added.begin());
}

namespace {

// Sorts values that share their bytes before `byte`: by partitioning on one byte after another
// (SHA-1 values are evenly spread, so each pass cuts a run into 256 of nearly equal length),
// then by insertion once a run is short.
void sort_from_byte(std::span<Sha1> hashes, std::size_t byte) {
  if (hashes.size() <= SHORT_RUN || byte == SHA1_SIZE) {
    for (std::size_t at = 1; at < hashes.size(); ++at) {
      const Sha1 moving = hashes[at];
      std::size_t to = at;
      for (; to > 0 && sha1_less(moving, hashes[to - 1]); --to) {
        hashes[to] = hashes[to - 1];
      }
      hashes[to] = moving;
    }
    return;
  }
  std::array<std::size_t, 257> starts{};
  partition_by_byte(hashes, byte, starts);
  for (std::size_t run = 0; run < 256; ++run) {
    sort_from_byte(hashes.subspan(starts[run], starts[run + 1] - starts[run]), byte + 1);
  }
}

}  // namespace

void HashSet::seal() {
  sort_from_byte(hashes_, 0);
  hashes_.erase(std::unique(hashes_.begin(), hashes_.end()), hashes_.end());
  sealed_ = hashes_.size();
  starts_.assign(BUCKETS + 1, 0);
  for (const Sha1& hash : hashes_) {
    ++starts_[bucket_of(hash) + 1];
  }
  for (std::size_t bucket = 0; bucket < BUCKETS; ++bucket) {
    starts_[bucket + 1] += starts_[bucket];
  }
}

bool HashSet::contains(std::span<const std::uint8_t, SHA1_SIZE> hash) const {
  if (sealed_ == 0) {
    return false;
  }
  Sha1 wanted;
  std::copy(hash.begin(), hash.end(), wanted.begin());
  const std::size_t bucket = bucket_of(wanted);
  const auto first = hashes_.begin() + static_cast<std::ptrdiff_t>(starts_[bucket]);
  const auto last = hashes_.begin() + static_cast<std::ptrdiff_t>(starts_[bucket + 1]);
  const auto found = std::lower_bound(first, last, wanted, sha1_less);
  return found != last && *found == wanted;
}

bool HashSet::contains_hex(std::u16string_view text) const {
  Sha1 hash;
  return parse_sha1(text, hash) && contains(hash);
}

std::string HashSetError::text() const {
  return line == 0 ? message : "line " + std::to_string(line) + ": " + message;
}

namespace {

constexpr std::string_view NOT_A_SHA1 = "not a SHA-1 value (40 hexadecimal digits)";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// A line of the one-value-a-line layout, its line end gone: a value, maybe followed by blanks
// and a comment. False when it is neither that nor blank nor a comment; `has_value` tells.
bool parse_value_line(std::string_view line, Sha1& hash, bool& has_value) {
  has_value = false;
  if (line.size() == SHA1_DIGITS && parse_sha1(line, hash)) {
    has_value = true;  // the usual line, taken without further ado
    return true;
  }
  line = trimmed(line);
  if (line.empty() || line.front() == '#') {
    return true;
  }
  if (line.size() > SHA1_DIGITS &&
      (!is_blank(line[SHA1_DIGITS]) || trimmed(line.substr(SHA1_DIGITS)).front() != '#')) {
    return false;
  }
  has_value = parse_sha1(line.substr(0, SHA1_DIGITS), hash);
  return has_value;
}

// Whether a CSV header's name is the SHA-1 column's: "SHA-1" or "sha1", in any case.
bool names_sha1_column(std::string_view name) {
  const auto equal_folded = [](std::string_view text, std::string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) {
             return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
  };
  return equal_folded(name, "sha-1") || equal_folded(name, "sha1");
}

// How scanning one CSV record from its start went.
enum class Scan { record, need_more, unclosed_quote, text_after_quote };

// Scans one CSV record that starts at `at`, calling field(column, text, escaped) for each
// field: `text` is what stands between the quotes of a quoted field, `escaped` true when it
// holds doubled quotes; or the whole of an unquoted field, where a quote is an ordinary
// character. A record ends at a line break outside quotes (LF or CR LF) or at the end of the
// file. With `last` false, a record that reaches `end` is left whole for when more is read.
template <typename Field>
Scan scan_record(const char* at, const char* end, bool last, Field&& field, const char*& next,
                 std::uint64_t& line_breaks) {
  line_breaks = 0;
  for (std::size_t column = 0;; ++column) {
    const char* field_end = nullptr;
    if (at != end && *at == '"') {
      const char* const open = at + 1;
      bool escaped = false;
      const char* close = open;
      while (true) {
        close = static_cast<const char*>(std::memchr(close, '"', static_cast<std::size_t>(end - close)));
        if (close == nullptr || (close + 1 == end && !last)) {
          return last && close == nullptr ? Scan::unclosed_quote : Scan::need_more;
        }
        if (close + 1 != end && close[1] == '"') {
          escaped = true;
          close += 2;
          continue;
        }
        break;
      }
      line_breaks += static_cast<std::uint64_t>(std::count(open, close, '\n'));
      field(column, std::string_view(open, static_cast<std::size_t>(close - open)), escaped);
      field_end = close + 1;
      if (field_end != end && *field_end == '\r' && field_end + 1 != end && field_end[1] == '\n') {
        ++field_end;
      } else if (field_end == end - 1 && *field_end == '\r' && !last) {
        return Scan::need_more;
      }
      if (field_end != end && *field_end != ',' && *field_end != '\n') {
        return Scan::text_after_quote;
      }
    } else {
      field_end = at;
      while (field_end != end && *field_end != ',' && *field_end != '\n') {
        ++field_end;
      }
      if (field_end == end && !last) {
        return Scan::need_more;
      }
      std::string_view text(at, static_cast<std::size_t>(field_end - at));
      if ((field_end == end || *field_end == '\n') && !text.empty() && text.back() == '\r') {
        text.remove_suffix(1);  // the CR of a CR LF line end
      }
      field(column, text, false);
    }
    if (field_end == end) {
      next = end;
      return Scan::record;
    }
    if (*field_end == '\n') {
      next = field_end + 1;
      ++line_breaks;
      return Scan::record;
    }
    at = field_end + 1;  // past the comma
  }
}

// Reads records from the buffers it is given, one file front to back.
class HashFileParser {
 public:
  // `size`: the file's, for making room once its layout is known.
  HashFileParser(HashSet& set, HashSetError& error, std::uint64_t size)
      : set_(set), error_(error), size_(size) {}

  // Takes the records of [at, end); returns where the first one not taken starts, or null once
  // a record is malformed. With `last` false, a record that reaches `end` is left.
  const char* parse(const char* at, const char* end, bool last) {
    while (at != end) {
      const char* next = nullptr;
      const bool taken = layout_ == Layout::csv ? csv_record(at, end, last, next)
                                                : value_line(at, end, last, next);
      if (!taken) {
        return error_.message.empty() ? at : nullptr;
      }
      at = next;
    }
    return at;
  }

 private:
  enum class Layout { unknown, values, csv };

  bool fail(std::uint64_t line, std::string_view message) {
    error_.line = line;
    error_.message = message;
    return false;
  }

  // One line while the layout is unknown or one value a line; false when it is not all there
  // yet or is malformed.
  bool value_line(const char* at, const char* end, bool last, const char*& next) {
    const char* line_end =
        static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    if (line_end == nullptr && !last) {
      return false;
    }
    next = line_end == nullptr ? end : line_end + 1;
    std::string_view line(at, static_cast<std::size_t>((line_end == nullptr ? end : line_end) - at));
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    Sha1 hash;
    bool has_value = false;
    if (parse_value_line(line, hash, has_value)) {
      ++line_;
      if (has_value) {
        if (layout_ != Layout::values) {
          // Comments and blank lines may still lead to a CSV header; a value decides. Every
          // value line takes 41 bytes or more, so this is room enough, and not much more.
          layout_ = Layout::values;
          set_.reserve_more(static_cast<std::size_t>(size_ / (SHA1_DIGITS + 1) + 1));
        }
        set_.add(hash);
      }
      return true;
    }
    if (layout_ == Layout::values) {
      return fail(line_, NOT_A_SHA1);
    }
    return csv_header(at, end, last, next);
  }

  // The first line that is neither blank, a comment nor a value: a CSV header, or trouble.
  bool csv_header(const char* at, const char* end, bool last, const char*& next) {
    std::uint64_t line_breaks = 0;
    bool found = false;
    const Scan scan = scan_record(
        at, end, last,
        [&](std::size_t column, std::string_view text, bool escaped) {
          if (!found && !escaped && names_sha1_column(trimmed(text))) {
            found = true;
            sha1_column_ = column;
          }
        },
        next, line_breaks);
    if (scan == Scan::need_more) {
      return false;
    }
    if (scan != Scan::record || !found) {
      return fail(line_, "neither a SHA-1 value nor a CSV header with a SHA-1 or sha1 column");
    }
    layout_ = Layout::csv;
    line_ += line_breaks == 0 ? 1 : line_breaks;
    return true;
  }

  bool csv_record(const char* at, const char* end, bool last, const char*& next) {
    std::uint64_t line_breaks = 0;
    std::size_t fields = 0;
    bool blank = true;
    bool sound = true;
    Sha1 hash{};
    const Scan scan = scan_record(
        at, end, last,
        [&](std::size_t column, std::string_view text, bool escaped) {
          ++fields;
          blank = blank && column == 0 && text.empty();
          if (column == sha1_column_) {
            sound = !escaped && parse_sha1(trimmed(text), hash);
          }
        },
        next, line_breaks);
    if (scan == Scan::need_more) {
      return false;
    }
    if (scan == Scan::unclosed_quote) {
      return fail(line_, "a quoted field is not closed");
    }
    if (scan == Scan::text_after_quote) {
      return fail(line_, "text after the closing quote of a field");
    }
    if (!(blank && fields == 1)) {
      if (fields <= sha1_column_) {
        return fail(line_, "the record has no SHA-1 field");
      }
      if (!sound) {
        return fail(line_, "the SHA-1 field is not a SHA-1 value (40 hexadecimal digits)");
      }
      set_.add(hash);
    }
    line_ += line_breaks == 0 ? 1 : line_breaks;
    return true;
  }

  HashSet& set_;
  HashSetError& error_;
  Layout layout_ = Layout::unknown;
  std::size_t sha1_column_ = 0;
  std::uint64_t line_ = 1;  // where the next record starts
  std::uint64_t size_;
};

// Bytes read at a time; a record longer than this makes the buffer grow.
constexpr std::size_t READ_SIZE = std::size_t{4} << 20;

}  // namespace

bool load_hash_set(InputFile& file, HashSet& set, HashSetError& error) {
  error = {};
  HashFileParser parser(set, error, file.size());
  std::vector<char> buffer(READ_SIZE);
  std::size_t held = 0;  // bytes at the front of the buffer that wait for the rest of a record
  std::uint64_t left = file.size();
  bool first = true;
  while (true) {
    if (held == buffer.size()) {
      buffer.resize(buffer.size() * 2);
    }
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size() - held, left));
    const std::ptrdiff_t got =
        wanted == 0 ? 0
                    : file.read({reinterpret_cast<std::uint8_t*>(buffer.data()) + held, wanted});
    if (got < 0 || (got == 0 && left > 0)) {
      set.discard_unsealed();
      error = {0, got < 0 ? "cannot read: " + last_system_error() : "cannot read: it ended early"};
      return false;
    }
    left -= static_cast<std::uint64_t>(got);
    held += static_cast<std::size_t>(got);
    const char* begin = buffer.data();
    if (first && held >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) {
      begin += 3;  // a byte order mark
    }
    first = first && held < 3;
    const char* const end = buffer.data() + held;
    const char* const rest = parser.parse(begin, end, left == 0);
    if (rest == nullptr) {
      set.discard_unsealed();
      return false;
    }
    if (left == 0) {
      break;
    }
    held = static_cast<std::size_t>(end - rest);
    std::memmove(buffer.data(), rest, held);
  }
  set.seal();
  return true;
}

bool load_hash_set(Platform& platform, const std::filesystem::path& path, HashSet& set,
                   HashSetError& error) {
  const OpenedFile opened = platform.open_stream(&path);
  if (opened.file) {
    return load_hash_set(*opened.file, set, error);
  }
  switch (opened.failure) {
    case OpenFailure::empty:
      error = {};
      return true;
    case OpenFailure::not_regular:
      error = {0, "not a regular file"};
      return false;
    case OpenFailure::too_large:
      error = {0, "too large (4 GiB or more)"};
      return false;
    default:
      error = {0, opened.reason.empty() ? "cannot open" : "cannot open: " + opened.reason};
      return false;
  }
}

}  // namespace tarvel
