// UTF-8, JSON strings and CSV records at their boundaries.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "report/machine_text.h"
#include "testing/csv_reader.h"

namespace tarvel {
namespace {

TEST(MachineText, JsonStringsParseBackToTheTextAndSayWhatWasLost) {
  struct Case {
    std::u16string text;
    std::string utf8;  // what a JSON parser reads back
    bool whole;
  };
  const Case cases[] = {
      {u"C:\\Temp\\a \"b\".txt", "C:\\Temp\\a \"b\".txt", true},
      {u"caf\x00E9 \x65E5\xD83D\xDE00", "caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80", true},
      // Controls are escaped, never masked: the reader gets them back.
      {std::u16string(u"a\x0001\n\x001B[2J\x009B\x007F\x2028\x2029", 11),
       std::string("a\x01\n\x1B[2J\xC2\x9B\x7F\xE2\x80\xA8\xE2\x80\xA9", 16), true},
      // The last two-byte and first three-byte characters.
      {u"\x07FF\x0800", "\xDF\xBF\xE0\xA0\x80", true},
      {std::u16string(1, u'\0'), std::string(1, '\0'), true},
      // A lone surrogate of either half becomes U+FFFD.
      {u"x\xD800y\xDC00", "x\xEF\xBF\xBDy\xEF\xBF\xBD", false},
  };
  for (const Case& c : cases) {
    std::string json;
    EXPECT_EQ(append_json_string(json, c.text), c.whole);
    EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), c.utf8) << json;
    EXPECT_EQ(json.find_first_of(std::string("\n\r\x1B\x7F", 4)), std::string::npos) << json;
    // Line and paragraph separators end a line in JavaScript and some viewers: escaped too.
    EXPECT_EQ(json.find("\xE2\x80\xA8"), std::string::npos) << json;
    EXPECT_EQ(json.find("\xE2\x80\xA9"), std::string::npos) << json;
  }
  std::string hex;
  append_hex(hex, u"\xD800\x0041");
  EXPECT_EQ(hex, "d8000041");
}

TEST(MachineText, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  const std::pair<std::string, bool> cases[] = {
      {"plain", true},
      {"caf\xC3\xA9", true},
      {"\xC3", false},              // cut short
      {"\xC0\xAF", false},          // overlong '/'
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\x80 latin\xE9", false},
      {"\xDF\xBF\xE0\xA0\x80", true},  // the last two-byte and first three-byte characters
      {"\xDF\xC0", false},               // a lead byte whose next byte continues nothing
  };
  for (const auto& [bytes, whole] : cases) {
    std::string json;
    EXPECT_EQ(append_json_string(json, bytes), whole) << bytes;
    EXPECT_TRUE(nlohmann::json::accept(json)) << json;
  }
}

TEST(MachineText, CsvFieldsSplitBackAndFormulasAreDisarmed) {
  const std::vector<std::string> fields = {
      "plain", "a,b", "say \"hi\"", "two\r\nlines", "=1+2", "+x", "-3", "@SUM(A1)", "\tx",
      "\rx", "", "'quoted", "'=1+2"};
  std::string text;
  append_csv_record(text, fields);
  append_csv_record(text, fields);
  std::vector<testing::CsvRecord> records;
  ASSERT_TRUE(testing::read_csv(text, records)) << text;
  ASSERT_EQ(records.size(), 2u);
  const testing::CsvRecord expected = {
      "plain", "a,b", "say \"hi\"", "two\r\nlines", "'=1+2", "'+x", "'-3", "'@SUM(A1)", "'\tx",
      "'\rx", "", "''quoted", "''=1+2"};
  EXPECT_EQ(records[0], expected);
  // Stripping one leading apostrophe from every field that has one gives each text back.
  EXPECT_EQ(testing::unguard_csv(records[1]), fields);
}

}  // namespace
}  // namespace tarvel
