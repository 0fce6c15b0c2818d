// The buffered console: encodings, line ends and failed deliveries.
#include <gtest/gtest.h>

#include "platform/console.h"
#include "testing/capture_console.h"

namespace tarvel {
namespace {

// An encoder for a single-byte code page that has only ASCII and U+00E9.
std::size_t encode_latin_e(char32_t character, char* out) {
  if (character == 0xE9) {
    out[0] = '\xE9';
    return 1;
  }
  return 0;
}

TEST(WideEncoder, ConvertsCharactersAndMarksWhatTheEncodingLacks) {
  const WideEncoder utf8(&testing::encode_utf8);
  const WideEncoder latin(&encode_latin_e);
  struct Case {
    std::u16string_view text;
    std::string as_utf8;
    std::string as_latin;
  };
  const Case cases[] = {
      {u"plain", "plain", "plain"},
      {u"caf\x00E9", "caf\xC3\xA9", "caf\xE9"},
      {u"\x20AC", "\xE2\x82\xAC", "?"},
      // A surrogate pair is one character, a lone half is none.
      {u"\xD83D\xDE00!", "\xF0\x9F\x98\x80!", "?!"},
      {u"a\xD83D"
       u"b",
       "a?b", "a?b"},
      {u"a\xDE00", "a?", "a?"},
      {u"\xD83D", "?", "?"},
      // Runs of ASCII and of the rest, one after the other.
      {u"\x00E9\x00E9x\xD83D\xDE00yz\x00E9", "\xC3\xA9\xC3\xA9x\xF0\x9F\x98\x80yz\xC3\xA9",
       "\xE9\xE9x?yz\xE9"},
  };
  for (const Case& c : cases) {
    std::string out = "<";
    utf8.append(c.text, out);
    EXPECT_EQ(out, "<" + c.as_utf8);
    out.clear();
    latin.append(c.text, out);
    EXPECT_EQ(out, c.as_latin);
  }
}

TEST(BufferedConsole, KeepsBothChannelsInCallOrderAcrossFlushes) {
  testing::CaptureConsole console;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    console.write_wide(u"w\x00E9");
    console.write_bytes("b\xE9");
    expected +=
        "w\xC3\xA9"
        "b\xE9";
  }
  EXPECT_EQ(console.text(), expected);
}

// Output that failed once has a hole in it: a later delivery that works must neither clear the
// failure nor add to the output.
TEST(BufferedConsole, AFailedDeliveryStaysFailed) {
  testing::CaptureConsole console;
  console.write_wide(u"kept\n");
  console.flush();
  EXPECT_FALSE(console.failed());
  console.break_output();
  console.write_wide(u"lost\n");
  console.flush();
  console.break_output(false);
  console.write_wide(u"after the hole\n");
  console.flush();
  EXPECT_TRUE(console.failed());
  EXPECT_EQ(console.delivered(), "kept\n");
}

}  // namespace
}  // namespace tarvel
