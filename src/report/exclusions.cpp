#include "report/exclusions.h"

#include <algorithm>

#include "report/machine_text.h"

namespace tarvel {

namespace {

constexpr std::array<std::pair<std::string_view, Section>, 4> SECTION_NAMES = {{
    {"autorun", Section::autorun},
    {"application", Section::application},
    {"hosts", Section::hosts},
    {"file", Section::file},
}};

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
    if (value >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
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

bool Exclusions::parse(std::string_view text, Exclusions& out, Error& error) {
  out.rules_.clear();
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
    const std::size_t tab = line.find('\t');
    if (tab != std::string_view::npos) {
      const std::string_view name = line.substr(0, tab);
      for (const auto& [known, section] : SECTION_NAMES) {
        if (name == known) {
          rule.section = section;
        }
      }
      if (!rule.section) {
        error = {number, "unknown section '" + std::string(name) +
                             "' (one of autorun, application, hosts, file)"};
        return false;
      }
      line.remove_prefix(tab + 1);
    }
    if (line.empty()) {
      error = {number, "no pattern after the section"};
      return false;
    }
    if (!to_utf16(line, rule.glob)) {
      error = {number, "not UTF-8 text"};
      return false;
    }
    rule.byte_glob = std::string(line);
    out.rules_.push_back(std::move(rule));
  }
  return true;
}

bool Exclusions::excludes(const ReportItem& item, const CaseFolding& folding) const {
  const Section section = item.kind().section;
  return std::ranges::any_of(rules_, [&](const Rule& rule) {
    if (rule.section && *rule.section != section) {
      return false;
    }
    return section == Section::hosts
               ? glob_matches(rule.byte_glob, item.line, folding)
               : glob_matches(rule.glob, item.text, folding) ||
                     (section == Section::application && glob_matches(rule.glob, item.key, folding));
  });
}

}  // namespace tarvel
