// tarvel-diff's HTML page: one self-contained document (inline style, no script, nothing
// fetched) with the header facts, the counts, and each list as a table.
#include "report/diff_html.h"

#include <cstdio>

#include "platform/output_encoding.h"
#include "report/machine_text.h"

namespace tarvel {

namespace {

// Whatever an image holds, the page can run nothing and fetch nothing.
constexpr std::string_view PAGE_START =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>tarvel-diff report</title>\n<style>\n"
    "body{font-family:sans-serif;margin:1.5em;color:#1a1a1a}\n"
    "table{border-collapse:collapse;margin:.5em 0 1.5em}\n"
    "th,td{border:1px solid #bbb;padding:.2em .5em;text-align:left;vertical-align:top}\n"
    "th{background:#eee}\n"
    "td{font-family:monospace;white-space:pre-wrap;word-break:break-all;unicode-bidi:isolate}\n"
    "tr.known-bad td{background:#fdd}\n"
    ".hex{display:block;color:#666;font-size:.85em}\n"
    ".esc{color:#b00;background:#fee}\n"
    "</style>\n</head>\n<body>\n<h1>tarvel-diff report</h1>\n";

// Characters HTML gives a meaning to, as references.
void append_escaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
}

// A text as a cell shows it: each character as itself, but a control, a line separator or a
// character that reorders text shown as its code in a marked span ("\u202e"), so that nothing
// from an image can hide, move or break the page's text. Returns false when a lone surrogate or
// a byte that is no UTF-8 was shown as U+FFFD.
template <typename Text>
bool append_text(std::string& out, Text text) {
  std::string utf8;
  const bool whole = for_each_character_of(text, [&](char32_t character) {
    if (is_masked_character(character)) {
      char code[16];
      std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(character));
      out += "<span class=\"esc\">";
      out += code;
      out += "</span>";
      return;
    }
    utf8.clear();
    append_utf8(utf8, character);
    append_escaped(out, utf8);
  });
  return whole;
}

// A value as a cell's content. A text that is not whole has its exact units or bytes beside it,
// as JSON Lines has them.
void append_value(std::string& out, const FieldValue& value) {
  using Kind = FieldValue::Kind;
  switch (value.kind) {
    case Kind::absent:
    case Kind::null:
      return;
    case Kind::number:
      out += std::to_string(value.number);
      return;
    case Kind::flag:
      out += value.number != 0 ? "true" : "false";
      return;
    case Kind::word:
      append_escaped(out, value.bytes);
      return;
    case Kind::hex:
      break;
    case Kind::units:
    case Kind::bytes: {
      out += "<span class=\"text\">";
      const bool whole =
          value.kind == Kind::units ? append_text(out, value.units) : append_text(out, value.bytes);
      out += "</span>";
      if (whole) {
        return;
      }
      break;
    }
  }
  std::string hex;
  if (value.kind == Kind::units || (value.kind == Kind::hex && value.bytes.empty())) {
    append_hex(hex, value.units);
  } else {
    append_hex(hex, value.bytes);
  }
  out += "<span class=\"hex\">exact: " + hex + "</span>";
}

// The first and last fields an item's table shows: what follows the section and change.
constexpr std::size_t FIRST_COLUMN = field_index(CHANGE_FIELDS, "path");
constexpr std::size_t KNOWN_BAD = field_index(CHANGE_FIELDS, "known_bad");

class HtmlWriter final : public DiffWriter {
 public:
  HtmlWriter(Console& console, const DiffSettings& settings)
      : console_(console), settings_(settings) {}

  void header(const ImageFacts& old_image, const ImageFacts& new_image) override {
    facts_ += "<table class=\"facts\">\n<tr><th>tool</th><td>tarvel-diff " TARVEL_VERSION_TEXT
              "</td></tr>\n";
    if (!settings_.host.empty()) {
      facts_ += "<tr><th>host</th><td>";
      append_value(facts_, settings_.host.value());
      facts_ += "</td></tr>\n";
    }
    image("old", old_image);
    image("new", new_image);
    facts_ += "</table>\n";
  }

  void item(const ReportItem& item) override {
    if (!settings_.items) {
      return;
    }
    const ChangeValues& values = record_.fill(item, settings_.host);
    std::string& body = lists_[item.list];
    if (body.empty()) {
      columns_[item.list] = values;
    }
    body += item.known_bad == KnownBad::none ? "<tr>" : "<tr class=\"known-bad\">";
    for (std::size_t at = FIRST_COLUMN; at <= KNOWN_BAD; ++at) {
      if (at == KNOWN_BAD || columns_[item.list][at].kind != FieldValue::Kind::absent) {
        body += "<td>";
        append_value(body, values[at]);
        body += "</td>";
      }
    }
    body += "</tr>\n";
  }

  void summary(const DiffCounts& counts) override {
    std::string page(PAGE_START);
    page += facts_;
    counts_table(page, counts);
    for (std::size_t list = 0; settings_.items && list < REPORT_LIST_COUNT; ++list) {
      list_table(page, list);
    }
    page += "</body>\n</html>\n";
    console_.write_bytes(page);
  }

  void finish() override {}

 private:
  void image(std::string_view role, const ImageFacts& facts) {
    facts_ += "<tr><th>";
    facts_ += role;
    facts_ += "</th><td>";
    append_value(facts_, facts.path.value());
    facts_ += "\nversion " + std::to_string(facts.version) + ", digest ";
    facts_ += digest_word(facts.digest);
    facts_ += "</td></tr>\n";
  }

  static void counts_table(std::string& page, const DiffCounts& counts) {
    page += "<h2>Counts</h2>\n<table class=\"counts\">\n<tr>";
    for (const std::string_view name :
         {"section", "change", "count", "excluded", "known_good", "known_bad"}) {
      page += "<th>" + std::string(name) + "</th>";
    }
    page += "</tr>\n";
    for (std::size_t list = 0; list < REPORT_LIST_COUNT; ++list) {
      page += "<tr><td>" + std::string(REPORT_LISTS[list].section_name()) + "</td><td>" +
              std::string(REPORT_LISTS[list].change_name) + "</td><td>" +
              std::to_string(counts.shown[list]) + "</td><td>" +
              std::to_string(counts.excluded[list]) + "</td><td>" +
              std::to_string(counts.known_good[list]) + "</td><td>" +
              std::to_string(counts.known_bad[list]) + "</td></tr>\n";
    }
    page += "<tr><td>total</td><td></td><td>" + std::to_string(counts.differences()) +
            "</td><td></td><td></td><td></td></tr>\n</table>\n";
  }

  void list_table(std::string& page, std::size_t list) const {
    const std::u16string_view heading = REPORT_LISTS[list].heading;
    page += "<h2>" + std::string(heading.begin(), heading.end() - 1) + "</h2>\n";
    if (lists_[list].empty()) {
      page += "<p>None.</p>\n";
      return;
    }
    page += "<table>\n<tr>";
    for (std::size_t at = FIRST_COLUMN; at <= KNOWN_BAD; ++at) {
      if (at == KNOWN_BAD || columns_[list][at].kind != FieldValue::Kind::absent) {
        page += "<th>" + std::string(CHANGE_FIELDS[at].name) + "</th>";
      }
    }
    page += "</tr>\n" + lists_[list] + "</table>\n";
  }

  Console& console_;
  const DiffSettings& settings_;
  ChangeRecord record_;
  std::string facts_;
  std::array<std::string, REPORT_LIST_COUNT> lists_;
  std::array<ChangeValues, REPORT_LIST_COUNT> columns_{};
};

}  // namespace

std::unique_ptr<DiffWriter> make_html_writer(const DiffSettings& settings, Console& console) {
  return std::make_unique<HtmlWriter>(console, settings);
}

}  // namespace tarvel
