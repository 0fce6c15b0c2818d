// Text for other programs: UTF-8, JSON strings, hexadecimal forms and CSV records.
#include "report/machine_text.h"

#include <array>
#include <cstdint>

#include "platform/output_encoding.h"

namespace tarvel {

namespace {

constexpr std::string_view HEX_DIGITS = "0123456789abcdef";

void put_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void put_json(std::string& out, char32_t c) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (is_control_character(c) || c == 0x2028 || c == 0x2029) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
      out.push_back(HEX_DIGITS[(c >> shift) & 0xF]);
    }
    return;
  }
  put_utf8(out, c);
}

template <typename Text>
bool json_string(std::string& out, Text text) {
  out.push_back('"');
  const bool whole = for_each_character_of(text, [&](char32_t c) { put_json(out, c); });
  out.push_back('"');
  return whole;
}

}  // namespace

void append_utf8(std::string& out, char32_t character) { put_utf8(out, character); }


std::size_t decode_utf8(std::string_view bytes, char32_t& character) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    character = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t value = 0;
  char32_t smallest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
    smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    smallest = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() < length) {
    return 0;
  }
  for (std::size_t at = 1; at < length; ++at) {
    if ((byte(at) & 0xC0) != 0x80) {
      return 0;
    }
    value = (value << 6) | (byte(at) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if (value < smallest || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
    return 0;
  }
  character = value;
  return length;
}

bool is_whole_utf16(std::u16string_view text) {
  return for_each_character_of(text, [](char32_t) {});
}

bool append_utf8(std::string& out, std::u16string_view text) {
  return for_each_character_of(text, [&](char32_t c) { put_utf8(out, c); });
}

bool append_utf8(std::string& out, std::string_view bytes) {
  return for_each_character_of(bytes, [&](char32_t c) { put_utf8(out, c); });
}

bool append_json_string(std::string& out, std::u16string_view text) {
  // Printable ASCII other than '"' and '\\', nearly all of any path, goes across a run at a
  // time; each stretch of other units is decoded and escaped a character at a time. Runs end
  // at units that are no surrogate, so the stretches decode as the whole text would.
  const auto plain = [](char16_t unit) {
    return unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\';
  };
  out.push_back('"');
  bool whole = true;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    while (end < text.size() && plain(text[end])) {
      ++end;
    }
    const std::size_t start = out.size();
    out.resize(start + (end - at));
    for (std::size_t unit = at; unit < end; ++unit) {
      out[start + (unit - at)] = static_cast<char>(text[unit]);
    }
    at = end;
    while (end < text.size() && !plain(text[end])) {
      ++end;
    }
    const std::u16string_view other = text.substr(at, end - at);
    whole = for_each_character_of(other, [&](char32_t c) { put_json(out, c); }) && whole;
    at = end;
  }
  out.push_back('"');
  return whole;
}

bool append_json_string(std::string& out, std::string_view bytes) {
  return json_string(out, bytes);
}

void append_hex(std::string& out, std::u16string_view units) {
  for (const char16_t unit : units) {
    for (int shift = 12; shift >= 0; shift -= 4) {
      out.push_back(HEX_DIGITS[(unit >> shift) & 0xF]);
    }
  }
}

void append_hex(std::string& out, std::string_view bytes) {
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    out.push_back(HEX_DIGITS[value >> 4]);
    out.push_back(HEX_DIGITS[value & 0xF]);
  }
}

void append_csv_field(std::string& out, std::string_view field) {
  const bool guarded = !field.empty() && std::string_view("=+-@\t\r'").find(field.front()) !=
                                             std::string_view::npos;
  const bool quoted = field.find_first_of(",\"\r\n") != std::string::npos;
  if (quoted) {
    out.push_back('"');
  }
  if (guarded) {
    out.push_back('\'');
  }
  for (const char c : field) {
    if (c == '"') {
      out.push_back('"');
    }
    out.push_back(c);
  }
  if (quoted) {
    out.push_back('"');
  }
}

void append_csv_record(std::string& out, std::span<const std::string> fields) {
  for (std::size_t index = 0; index < fields.size(); ++index) {
    if (index != 0) {
      out.push_back(',');
    }
    append_csv_field(out, fields[index]);
  }
  out += "\r\n";
}

}  // namespace tarvel
