// What the text report masks for a terminal, in every output encoding.
#include "report/terminal_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace tarvel {
namespace {

// The encodings the masking is tried under, each described by the system's own decoder for a
// locale that has it: a POSIX locale name, or a Windows runtime locale name that ends in its code
// page. Null where the system has no such locale.
struct Encoding {
  const char* what;
  const char* posix_locale;
  const char* windows_locale;
};
constexpr std::array<Encoding, 7> ENCODINGS = {{
    {"UTF-8", "C.UTF-8", ".utf8"},
    {"ASCII (the C locale)", "C", nullptr},
    {"Latin-1", "en_US.ISO-8859-1", ".28591"},
    {"Windows-1252", "en_US.CP1252", ".1252"},
    {"Windows-1251", "be_BY.CP1251", ".1251"},
    {"EUC-JP", "ja_JP.EUC-JP", nullptr},
    {"Shift_JIS (932)", nullptr, ".932"},
}};

// A hosts line and what each encoding of ENCODINGS, in that order, must show of it.
struct ByteCase {
  const char* what;
  std::string_view line;
  std::array<std::string_view, ENCODINGS.size()> shown;
};

// clang-format off
const ByteCase BYTE_CASES[] = {
    {"TAB is kept", "a\tb",
     {"a\tb", "a\tb", "a\tb", "a\tb", "a\tb", "a\tb", "a\tb"}},
    {"C0 controls and DEL", "\x1B[2J\r\x7F",
     {"?[2J??", "?[2J??", "?[2J??", "?[2J??", "?[2J??", "?[2J??", "?[2J??"}},
    {"CSI in UTF-8, one '?' for the one character", "\xC2\x9B" "1A",
     {"?1A", "\xC2?1A", "\xC2?1A", "\xC2\x9B" "1A", "\xC2\x9B" "1A", "\xC2?1A", "\xC2?1A"}},
    {"lone CSI byte", "\x9B",
     {"?", "?", "?", "\x9B", "\x9B", "?", "?"}},
    {"bytes Windows-1252 leaves undefined", "\x81\x8D\x8F\x90\x9D",
     {"?????", "?????", "?????", "?????", "\x81\x8D\x8F\x90\x9D", "?????", "\x81\x8D\x8F\x90?"}},
    {"the byte Windows-1251 leaves undefined", "\x98",
     {"?", "?", "?", "\x98", "?", "?", "?"}},
    {"UTF-8 text with continuation bytes 0x80 to 0x9F", "caf\xC3\xA9 \xE2\x80\x9C",
     {"caf\xC3\xA9 \xE2\x80\x9C", "caf\xC3\xA9 \xE2??", "caf\xC3\xA9 \xE2??", "caf\xC3\xA9 \xE2\x80\x9C",
      "caf\xC3\xA9 \xE2\x80\x9C", "caf\xC3\xA9 \xE2??", "caf\xC3\xA9 \xE2\x80?"}},
    {"right-to-left override and line separator in UTF-8", "a\xE2\x80\xAE" "b\xE2\x80\xA8",
     {"a?b?", "a\xE2?\xAE" "b\xE2?\xA8", "a\xE2?\xAE" "b\xE2?\xA8",
      "a\xE2\x80\xAE" "b\xE2\x80\xA8", "a\xE2\x80\xAE" "b\xE2\x80\xA8",
      "a\xE2?\xAE" "b\xE2?\xA8", "a\xE2\x80\xAE" "b\xE2\x80\xA8"}},
    {"overlong ESC in two and three bytes, a surrogate", "\xC0\x9B\xE0\x80\x9B\xED\xA0\x80",
     {"\xC0?\xE0??\xED\xA0?", "\xC0?\xE0??\xED\xA0?", "\xC0?\xE0??\xED\xA0?",
      "\xC0\x9B\xE0\x80\x9B\xED\xA0\x80", "\xC0\x9B\xE0\x80\x9B\xED\xA0\x80",
      "\xC0?\xE0??\xED\xA0?", "\xC0\x9B\xE0?\x9B\xED\xA0?"}},
    {"sequence cut short at the end", "\xE2\x80",
     {"\xE2?", "\xE2?", "\xE2?", "\xE2\x80", "\xE2\x80", "\xE2?", "\xE2\x80"}},
    {"EUC-JP half-width katakana and kanji", "\x8E\xB1\xB0\xA1",
     {"?\xB1\xB0\xA1", "?\xB1\xB0\xA1", "?\xB1\xB0\xA1", "\x8E\xB1\xB0\xA1", "\x8E\xB1\xB0\xA1",
      "\x8E\xB1\xB0\xA1", "\x8E\xB1\xB0\xA1"}},
    {"Shift_JIS pair ending in 0x80, lead byte at the end", "\x81\x80\x88",
     {"???", "???", "???", "?\x80\x88", "\x81\x80\x88", "???", "\x81\x80?"}},
};
// clang-format on

// Text for the wide channel, which is masked before it is encoded: the same in every encoding.
struct WideCase {
  const char* what;
  std::u16string_view text;
  std::u16string_view shown;
};

const WideCase WIDE_CASES[] = {
    {"right-to-left override disguising an executable", u"C:\\Temp\\\u202Eexe.txt",
     u"C:\\Temp\\?exe.txt"},
    {"every bidirectional formatting character, line and paragraph separators",
     u"\x061C\x200E\x200F\x202A\x202B\x202C\x202D\x202E\x2066\x2067\x2068\x2069\x2028\x2029",
     u"??????????????"},
    {"their neighbours are kept", u"\x061B\x061D\x200D\x2010\x2027\x202F\x2065\x206A\x00A0",
     u"\x061B\x061D\x200D\x2010\x2027\x202F\x2065\x206A\x00A0"},
    {"C0, DEL and C1 controls; TAB kept", u"\x001B[2J\r\x007F\x0080\x0085\x009B\x009F\tx",
     u"?[2J??????\tx"},
    {"a surrogate pair is left whole", u"\xD83D\xDE00", u"\xD83D\xDE00"},
};

// Hebrew and Arabic code pages decode single bytes to the directional marks.
TEST(TerminalText, MasksACodePageByteThatDecodesToADirectionalMark) {
  OutputEncoding encoding = OutputEncoding::code_page();
  encoding.set_decoded(0xFD, U'\u200E');
  encoding.set_decoded(0xFE, U'\u05EA');
  std::string scratch;
  EXPECT_EQ(terminal_safe("a\xFD\xFE", encoding, scratch), "a?\xFE");
}

// Paths of printable ASCII are passed over four units at a time: a unit at either edge of that
// range, or just past it, is told apart wherever it stands.
TEST(TerminalText, TellsEveryUnitAtTheEdgesOfPrintableAsciiAnywhereInAPath) {
  for (const char16_t unit : {u'\x00', u'\t', u'\x1F', u' ', u'~', u'\x7F', u'\x80', u'\x9F',
                              u'\xA0', u'\x7E20', u'\x200E', u'\xFF20'}) {
    for (std::size_t at = 0; at < 9; ++at) {
      std::u16string text(9, u'a');
      text[at] = unit;
      std::u16string expected = text;
      if (is_masked_character(unit)) {
        expected[at] = u'?';
      }
      std::u16string scratch;
      EXPECT_TRUE(terminal_safe(text, scratch) == expected) << int{unit} << " at " << at;
    }
  }
}

class TerminalTextIn : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TerminalTextIn, MasksWhatATerminalWouldActOnAndNothingElse) {
  const Encoding& encoding = ENCODINGS[GetParam()];
#ifdef _WIN32
  const char* const locale = encoding.windows_locale;
#else
  const char* const locale = encoding.posix_locale;
#endif
  const std::optional<OutputEncoding> described =
      locale == nullptr ? std::nullopt : output_encoding_of_locale(locale);
  if (!described) {
    GTEST_SKIP() << "this system has no locale for " << encoding.what;
  }
  std::string scratch;
  for (const ByteCase& c : BYTE_CASES) {
    EXPECT_EQ(terminal_safe(c.line, *described, scratch), c.shown[GetParam()]) << c.what;
  }
  std::u16string wide_scratch;
  for (const WideCase& c : WIDE_CASES) {
    EXPECT_TRUE(terminal_safe(c.text, wide_scratch) == c.shown) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, TerminalTextIn,
                         ::testing::Range(std::size_t{0}, ENCODINGS.size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                           std::string name;
                           for (const char c : std::string_view(ENCODINGS[param.param].what)) {
                             if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
                               name.push_back(c);
                             }
                           }
                           return name;
                         });

}  // namespace
}  // namespace tarvel
