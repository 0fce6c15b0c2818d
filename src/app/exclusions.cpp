// Exclusion rules: reading rules files, and finding the rules an item could match.
#include "app/exclusions.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <type_traits>

#include "platform/utf16.h"
#include "report/machine_text.h"

namespace tarvel {

namespace {

// Matches with one step back at a time: after a mismatch the last '*' takes one more unit. At
// most length of glob times length of text comparisons, whatever the two hold.
template <typename Char, typename Fold>
bool matches(std::basic_string_view<Char> glob, std::basic_string_view<Char> text, Fold fold) {
  std::size_t g = 0;
  std::size_t t = 0;
  std::size_t star = std::basic_string_view<Char>::npos;
  std::size_t resume = 0;
  while (t < text.size()) {
    if (g < glob.size() && glob[g] == static_cast<Char>('*')) {
      star = g++;
      resume = t;
    } else if (g < glob.size() &&
               (glob[g] == static_cast<Char>('?') || fold(glob[g]) == fold(text[t]))) {
      ++g;
      ++t;
    } else if (star != std::basic_string_view<Char>::npos) {
      g = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (g < glob.size() && glob[g] == static_cast<Char>('*')) {
    ++g;
  }
  return g == glob.size();
}

// The UTF-16 form of a rule's UTF-8 glob; false when it is not UTF-8.
bool to_utf16(std::string_view utf8, std::u16string& out) {
  out.clear();
  while (!utf8.empty()) {
    char32_t value = 0;
    const std::size_t length = decode_utf8(utf8, value);
    if (length == 0) {
      return false;
    }
    append_utf16(out, value);
    utf8.remove_prefix(length);
  }
  return true;
}

}  // namespace

bool glob_matches(std::u16string_view glob, std::u16string_view text, const CaseFolding& folding) {
  return matches(glob, text, [&](char16_t unit) { return folding.fold_unit(unit); });
}

bool glob_matches(std::string_view glob, std::string_view text, const CaseFolding& folding) {
  return matches(glob, text, [&](char byte) {
    return folding.fold_byte(static_cast<unsigned char>(byte));
  });
}

namespace {

constexpr std::uint64_t HEAD_MULTIPLIER = 0x9E3779B97F4A7C15ULL;

// One step of the hash of a folded start of text; the length is in the key too, so heads of
// different lengths never share a bucket by construction.
std::uint64_t head_step(std::uint64_t hash, std::uint32_t unit) {
  return (hash + unit + 1) * HEAD_MULTIPLIER;
}
std::uint64_t head_key(std::uint64_t hash, std::size_t length) { return hash ^ length; }

bool is_wildcard(char32_t unit) { return unit == '*' || unit == '?'; }

// The section named before a rule's TAB; none when the name is unknown.
std::optional<Section> section_named(std::string_view name) {
  for (std::size_t at = 0; at < SECTION_NAMES.size(); ++at) {
    if (name == SECTION_NAMES[at]) {
      return static_cast<Section>(at);
    }
  }
  return std::nullopt;
}

// Reads one rule line that is neither blank nor a comment; false with the complaint otherwise.
bool parse_rule(std::string_view line, Exclusions::Rule& rule, std::string& complaint) {
  if (line.find('\0') != std::string_view::npos) {
    complaint = "a NUL byte in the rule";
    return false;
  }
  if (line.back() == ' ' || line.back() == '\t') {
    // Blanks at the end are invisible in an editor and would never be meant; a path or hosts
    // line that does end in one is matched with '?'.
    complaint = "blanks at the end of the rule (write a blank that a text ends in as '?')";
    return false;
  }
  const std::size_t tab = line.find('\t');
  if (tab != std::string_view::npos) {
    rule.section = section_named(line.substr(0, tab));
    if (!rule.section) {
      complaint = "unknown section '" + std::string(line.substr(0, tab)) +
                  "' (one of autorun, application, hosts, file)";
      return false;
    }
    line.remove_prefix(tab + 1);
  }
  if (line.empty()) {
    complaint = "no pattern after the section";
    return false;
  }
  if (!to_utf16(line, rule.glob)) {
    complaint = "not UTF-8 text";
    return false;
  }
  rule.byte_glob = std::string(line);
  return true;
}

}  // namespace

bool Exclusions::add_file(std::string_view text, Error& error) {
  // Editors on Windows save UTF-8 with a byte order mark; it is no part of the first rule.
  if (text.starts_with("\xEF\xBB\xBF")) {
    text.remove_prefix(3);
  }
  std::vector<Rule> added;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') {
      continue;
    }
    Rule rule;
    if (!parse_rule(line, rule, error.message)) {
      error.line = number;
      return false;
    }
    rule.file = files_;
    rule.line = number;
    added.push_back(std::move(rule));
  }
  rules_.insert(rules_.end(), std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
  matched_.resize(rules_.size());
  ++files_;
  indexed_with_ = nullptr;
  return true;
}

void Exclusions::Index::Anchors::add(std::uint64_t key, std::size_t length,
                                     std::uint32_t rule) {
  key = head_key(key, length);
  rules_[key].push_back(rule);
  const std::uint64_t bit = key >> (64 - FILTER_BITS);
  filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
  const auto at = std::lower_bound(lengths_.begin(), lengths_.end(), length);
  if (at == lengths_.end() || *at != length) {
    lengths_.insert(at, length);
  }
}

template <typename Unit, typename Visit>
void Exclusions::Index::Anchors::candidates(std::size_t size, Unit unit, Visit visit) const {
  std::size_t hashed = 0;
  std::uint64_t hash = 0;
  for (const std::size_t length : lengths_) {
    if (length > size) {
      break;
    }
    for (; hashed < length; ++hashed) {
      hash = head_step(hash, unit(hashed));
    }
    const std::uint64_t key = head_key(hash, length);
    const std::uint64_t bit = key >> (64 - FILTER_BITS);
    if ((filter_[bit >> 6] >> (bit & 63) & 1) == 0) {
      continue;
    }
    if (const auto found = rules_.find(key); found != rules_.end()) {
      for (const std::uint32_t rule : found->second) {
        visit(rule);
      }
    }
  }
}

template <typename Char, typename Fold>
void Exclusions::Index::add(std::basic_string_view<Char> glob, std::uint32_t rule, Fold fold) {
  std::size_t head = 0;
  std::uint64_t hash = 0;
  while (head < glob.size() && !is_wildcard(static_cast<char32_t>(glob[head]))) {
    hash = head_step(hash, fold(glob[head]));
    ++head;
  }
  if (head != 0) {
    heads_.add(hash, head, rule);
    return;
  }
  std::size_t tail = 0;
  hash = 0;
  while (tail < glob.size() && !is_wildcard(static_cast<char32_t>(glob[glob.size() - 1 - tail]))) {
    hash = head_step(hash, fold(glob[glob.size() - 1 - tail]));
    ++tail;
  }
  if (tail != 0) {
    tails_.add(hash, tail, rule);
  } else {
    unanchored_.push_back(rule);
  }
}

template <typename Char, typename Visit>
void Exclusions::Index::candidates(std::basic_string_view<Char> folded, Visit visit) const {
  using Unit = std::make_unsigned_t<Char>;
  for (const std::uint32_t rule : unanchored_) {
    visit(rule);
  }
  heads_.candidates(folded.size(), [&](std::size_t at) { return Unit(folded[at]); }, visit);
  tails_.candidates(
      folded.size(), [&](std::size_t at) { return Unit(folded[folded.size() - 1 - at]); }, visit);
}

void Exclusions::build_indexes(const CaseFolding& folding) {
  wide_ = Index();
  bytes_ = Index();
  const auto fold_wide = [&](char16_t unit) -> std::uint32_t { return folding.fold_unit(unit); };
  const auto fold_byte = [&](char byte) -> std::uint32_t {
    return folding.fold_byte(static_cast<unsigned char>(byte));
  };
  for (std::uint32_t index = 0; index < rules_.size(); ++index) {
    const Rule& rule = rules_[index];
    if (!rule.section || *rule.section != Section::hosts) {
      wide_.add(std::u16string_view(rule.glob), index, fold_wide);
    }
    if (!rule.section || *rule.section == Section::hosts) {
      bytes_.add(std::string_view(rule.byte_glob), index, fold_byte);
    }
  }
  indexed_with_ = &folding;
}

bool Exclusions::matches(const Rule& rule, const ReportItem& item, const CaseFolding& folding) {
  const Section section = item.kind().section;
  if (rule.section && *rule.section != section) {
    return false;
  }
  return section == Section::hosts
             ? glob_matches(rule.byte_glob, item.line, folding)
             : glob_matches(rule.glob, item.text, folding) ||
                   (section == Section::application && glob_matches(rule.glob, item.key, folding));
}

bool Exclusions::excludes(const ReportItem& item, const CaseFolding& folding) {
  if (indexed_with_ != &folding) {
    build_indexes(folding);
  }
  bool excluded = false;
  const auto visit = [&](std::uint32_t rule) {
    // Once the item is out, only rules that have not matched yet are worth trying.
    if ((!excluded || !matched_[rule]) && matches(rules_[rule], item, folding)) {
      matched_[rule] = true;
      excluded = true;
    }
  };
  const auto fold_into = [&](auto& folded, auto text, auto fold) {
    folded.resize(text.size());
    std::transform(text.begin(), text.end(), folded.begin(), fold);
    using Char = typename std::remove_reference_t<decltype(folded)>::value_type;
    return std::basic_string_view<Char>(folded);
  };
  const auto fold_wide = [&](char16_t unit) { return folding.fold_unit(unit); };
  if (item.kind().section == Section::hosts) {
    bytes_.candidates(fold_into(folded_bytes_, item.line,
                                [&](char byte) {
                                  return static_cast<char>(
                                      folding.fold_byte(static_cast<unsigned char>(byte)));
                                }),
                      visit);
    return excluded;
  }
  wide_.candidates(fold_into(folded_wide_, item.text, fold_wide), visit);
  if (item.kind().section == Section::application) {
    wide_.candidates(fold_into(folded_wide_, item.key, fold_wide), visit);
  }
  return excluded;
}

std::vector<std::size_t> Exclusions::unmatched_lines(std::size_t file) const {
  std::vector<std::size_t> lines;
  for (std::size_t index = 0; index < rules_.size(); ++index) {
    if (rules_[index].file == file && !matched_[index]) {
      lines.push_back(rules_[index].line);
    }
  }
  return lines;
}

}  // namespace tarvel
