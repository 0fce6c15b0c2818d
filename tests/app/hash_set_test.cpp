// The packed SHA-1 set against a std::set, and loading both layouts of hash set files.
#include "app/hash_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "testing/fake_platform.h"

namespace tarvel::testing {
namespace {

const std::string A = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
const std::string B = "2FD4E1C67A2D28FCED849EE1BB76E7391B93EB12";
const std::string C = "de9f2c7fd25e1b3afad3e85a0bd17d9b100db4b3";

std::u16string wide(const std::string& text) { return {text.begin(), text.end()}; }

std::string upper(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

Sha1 sha1_of(const std::string& hex) {
  Sha1 hash{};
  for (std::size_t at = 0; at < hash.size(); ++at) {
    hash[at] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * at, 2), nullptr, 16));
  }
  return hash;
}

// Every value a set was told to hold, and one probe that is in no case's set.
void expect_holds(const HashSet& set, const std::vector<std::string>& values) {
  EXPECT_EQ(set.size(), values.size());
  for (const std::string& value : values) {
    EXPECT_TRUE(set.contains_hex(wide(value))) << value;
    EXPECT_TRUE(set.contains_hex(wide(upper(value)))) << value;
  }
  EXPECT_FALSE(set.contains_hex(wide(std::string(40, '7'))));
}

TEST(HashSet, LooksUpEveryValueAndNothingElseAtTheEdgesOfItsIndex) {
  const std::vector<std::string> held = {
      std::string(40, '0'),
      "1234" + std::string(36, '0'),
      "1234" + std::string(18, '5') + std::string(18, 'a'),
      "1234" + std::string(36, 'f'),
      std::string(40, 'f'),
  };
  HashSet set;
  EXPECT_FALSE(set.contains(sha1_of(held[0]))) << "an empty set holds nothing";
  for (const std::string& value : held) {
    set.add(sha1_of(value));
  }
  EXPECT_FALSE(set.contains(sha1_of(held[0]))) << "values count once sealed";
  set.seal();
  expect_holds(set, held);
  const std::u16string missed[] = {
      u"1234" + std::u16string(35, u'0') + u"1",  // after the first of its run
      u"1234" + std::u16string(35, u'f') + u"e",  // before the last
      u"1233" + std::u16string(36, u'f'),         // the runs beside it
      u"1235" + std::u16string(36, u'0'),
      std::u16string(39, u'0') + u"1",
      std::u16string(39, u'f') + u"e",
      std::u16string(39, u'0'),                   // one digit short, one too many
      std::u16string(41, u'0'),
      std::u16string(39, u'0') + u"g",
      std::u16string(39, u'0') + u" ",
      // Units that are digits only in their low byte, or digits of other scripts.
      std::u16string(39, u'0') + u"\x0130",
      std::u16string(39, u'0') + u"\xFF10",
      u"",
  };
  for (const std::u16string& text : missed) {
    EXPECT_FALSE(set.contains_hex(text)) << std::string(text.begin(), text.end());
  }
}

// Values added in several sealed batches, duplicates among them, against a std::set.
TEST(HashSet, HoldsWhatAStdSetHoldsAcrossBatches) {
  std::mt19937_64 random(20);
  std::set<Sha1> oracle;
  HashSet set;
  std::vector<Sha1> added;
  for (const std::size_t batch : {1000u, 50000u, 20000u}) {
    for (std::size_t i = 0; i < batch; ++i) {
      Sha1 hash{};
      for (std::uint8_t& byte : hash) {
        byte = static_cast<std::uint8_t>(random());
      }
      if (i % 7 == 0 && !added.empty()) {
        hash = added[random() % added.size()];  // a duplicate
      }
      if (i % 11 == 0) {
        hash[0] = 0x42;  // crowded runs, sorted a byte further in
      }
      if (i % 22 == 0) {
        hash[1] = 0x42;
        hash[2] = 0x42;
      }
      added.push_back(hash);
      oracle.insert(hash);
      set.add(hash);
    }
    set.seal();
    EXPECT_EQ(set.size(), oracle.size());
  }
  for (const Sha1& hash : added) {
    ASSERT_TRUE(set.contains(hash));
  }
  for (int i = 0; i < 100000; ++i) {
    Sha1 probe = added[static_cast<std::size_t>(i) % added.size()];
    probe[19 - static_cast<std::size_t>(i) % 20] ^= static_cast<std::uint8_t>(1 + i % 255);
    ASSERT_EQ(set.contains(probe), oracle.count(probe) == 1);
  }
}

struct LoadCase {
  const char* what;
  std::string text;
  std::vector<std::string> values;  // what the set then holds
  std::uint64_t line = 0;           // the failure's line; 0 with `error` empty: it loads
  std::string error;
};

TEST(LoadHashSet, TakesBothLayoutsAndNamesTheLineAtFault) {
  const std::string nsrl_header =
      "\"SHA-1\",\"MD5\",\"CRC32\",\"FileName\",\"FileSize\",\"ProductCode\",\"OpSystemCode\","
      "\"SpecialCode\"\r\n";
  const std::string not_sha1 = "not a SHA-1 value (40 hexadecimal digits)";
  const std::string bad_field = "the SHA-1 field is not a SHA-1 value (40 hexadecimal digits)";
  const std::string no_layout = "neither a SHA-1 value nor a CSV header with a SHA-1 or sha1 column";
  const LoadCase cases[] = {
      {"one value a line", A + "\n" + B + "\n" + C + "\n", {A, B, C}, 0, ""},
      {"no line end at the end", A + "\n" + B, {A, B}, 0, ""},
      {"comments, blanks, CR LF", "# known good\r\n\r\n  " + A + "\t\r\n" + B + "  # vendor\r\n\r\n",
       {A, B}, 0, ""},
      {"a byte order mark", "\xEF\xBB\xBF" + A + "\n", {A}, 0, ""},
      {"letter case mixed in a value", "dA39a3Ee5e6B4b0d3255bfef95601890afd80709\n", {A}, 0, ""},
      {"duplicates in either case", A + "\n" + upper(A) + "\n" + A + "\n", {A}, 0, ""},
      {"only comments", "# nothing yet\n\n", {}, 0, ""},
      {"a bad value", A + "\n\n# c\n" + A.substr(1) + "\n", {}, 4, not_sha1},
      {"41 digits", A + "0\n", {}, 1, no_layout},
      {"text after a value", A + "\n" + B + " C\n", {}, 2, not_sha1},
      {"a comment without a blank before it", A + "#x\n", {}, 1, no_layout},
      {"NSRL layout",
       nsrl_header + "\"" + A + "\",\"392126E756571EBF112CB1C1CDEDF926\",\"EBD105A0\",\"I05002T2.PFB\",98865,3095,\"WIN\",\"\"\r\n"
           "\"" + upper(B) + "\",\"0E53C14A3E48D94FF596A2824307B492\",\"AA6A7DE5\",\"a, \"\"quoted\"\"\r\nname\",1,2,\"WIN\",\"\"\r\n"
           "\"" + C + "\",\"\",\"\",\"x\",1,2,\"WIN\",\"\"\r\n",
       {A, B, C}, 0, ""},
      {"a bad value after a record over two lines",
       nsrl_header + "\"" + A + "\",\"\",\"\",\"two\r\nlines\",1,2,\"WIN\",\"\"\r\n\"" + B + "0\",\"\"\r\n",
       {}, 4, bad_field},
      {"the column last, unquoted, blank lines", "# export\nname,size,sha1\n\nfoo,1," + A +
                                                     "\n\"ba,r\",2," + B + "\n\n",
       {A, B}, 0, ""},
      {"a one-column CSV", "Sha1\n" + A + "\n\"" + B + "\"\n", {A, B}, 0, ""},
      {"a header without the column", "name,md5\nx,y\n", {}, 1, no_layout},
      {"a record too short", "name,sha1\nfoo," + A + "\nbar\n", {}, 3,
       "the record has no SHA-1 field"},
      {"an empty SHA-1 field", "sha-1,name\n,foo\n", {}, 2, bad_field},
      {"a '#' row in CSV is a record", "sha1\n#" + A + "\n", {}, 2, bad_field},
      {"an unclosed quote", "sha1\n" + A + "\n\"" + B + "\n", {}, 3, "a quoted field is not closed"},
      {"text after a closing quote", "sha1,x\n\"" + A + "\"x,1\n", {}, 2,
       "text after the closing quote of a field"},
      {"CSV after values", A + "\nsha1\n", {}, 2, not_sha1},
  };
  for (const LoadCase& c : cases) {
    // Whole, and in reads of a few bytes, so that records straddle every boundary.
    for (const std::size_t largest_read : {SIZE_MAX, std::size_t{7}}) {
      SCOPED_TRACE(std::string(c.what) + (largest_read == SIZE_MAX ? "" : ", in small reads"));
      FakePlatform platform;
      FakeFile file;
      file.owned = std::make_shared<const Bytes>(c.text.begin(), c.text.end());
      file.bytes = *file.owned;
      file.largest_read = largest_read;
      platform.add_file("set", file);
      HashSet set;
      HashSetError error;
      const bool loaded = load_hash_set(platform, "set", set, error);
      EXPECT_EQ(loaded, c.error.empty());
      EXPECT_EQ(error.line, c.line);
      EXPECT_EQ(error.message, c.error);
      expect_holds(set, c.values);
    }
  }
}

TEST(LoadHashSet, FilesAddUpAndOneThatFailsAddsNothing) {
  FakePlatform platform;
  platform.add_file("first", Bytes(A.begin(), A.end()));
  const std::string csv = "sha1\n" + B + "\n" + std::string(40, 'x') + "\n";
  platform.add_file("bad", Bytes(csv.begin(), csv.end()));
  const std::string long_record = "sha1,name\n" + C + ",\"" + std::string(9 << 20, 'n') + "\"\n";
  platform.add_file("long", Bytes(long_record.begin(), long_record.end()));
  platform.add_file("empty", Bytes{});
  FakeFile broken;
  broken.owned = std::make_shared<const Bytes>(Bytes(A.begin(), A.end()));
  broken.bytes = *broken.owned;
  broken.fails_at = 20;
  platform.add_file("broken", broken);
  HashSet set;
  HashSetError error;
  EXPECT_TRUE(load_hash_set(platform, "first", set, error));
  EXPECT_FALSE(load_hash_set(platform, "bad", set, error));
  EXPECT_EQ(error.text(), "line 3: the SHA-1 field is not a SHA-1 value (40 hexadecimal digits)");
  EXPECT_FALSE(load_hash_set(platform, "broken", set, error));
  EXPECT_TRUE(error.text().starts_with("cannot read: ")) << error.text();
  EXPECT_FALSE(load_hash_set(platform, "missing", set, error));
  EXPECT_EQ(error.text(), "cannot open: No such file or directory");
  EXPECT_TRUE(load_hash_set(platform, "empty", set, error));
  // A record longer than what is read at a time.
  EXPECT_TRUE(load_hash_set(platform, "long", set, error)) << error.text();
  expect_holds(set, {A, C});
}

}  // namespace
}  // namespace tarvel::testing
