// Whole reports of the built program, byte for byte, for images that exercise each comparison.
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <clocale>

#include "support/expected_output.h"
#include "testing/image_writer.h"
#include "support/run_tarvel.h"

namespace tarvel::testing {
namespace {

constexpr std::uint32_t AUTORUN = 0x00000004;
constexpr std::uint32_t OTHER_AUTORUN = 0x00020000;
constexpr std::uint32_t KEPT_A = 0x00000020;
constexpr std::u16string_view HASH_1 = u"0123456789abcdef0123456789abcdef01234567";
constexpr std::u16string_view HASH_1_UPPER = u"0123456789ABCDEF0123456789ABCDEF01234567";
constexpr std::u16string_view HASH_2 = u"76543210fedcba9876543210fedcba9876543210";

EntrySpec hashed(EntrySpec spec, std::u16string_view sha1) {
  spec.properties = sha1_property(sha1);
  return spec;
}

ImageSpec image_of(std::vector<EntrySpec> entries) {
  ImageSpec spec;
  spec.entries = std::move(entries);
  return spec;
}

// The report the program prints for the two images: everything after the loading lines.
std::string report_for(const ImageSpec& old_image, const ImageSpec& new_image,
                       const std::string& locale = "C.UTF-8") {
  const TempDir dir;
  const std::string old_path = dir.write("old.img", write_image(old_image));
  const std::string new_path = dir.write("new.img", write_image(new_image));
  const RunResult result = run_tarvel({old_path, new_path}, locale);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.errors, "");
  const std::string prefix = before_report(old_path, new_path);
  if (!result.output.starts_with(prefix)) {
    ADD_FAILURE() << "unexpected start of output:\n" << result.output;
    return result.output;
  }
  return result.output.substr(prefix.size());
}

std::string section(const std::string& heading, const std::vector<std::string>& lines) {
  std::string out = heading + "\n";
  for (const std::string& line : lines) {
    out += line + "\n";
  }
  return out + "Total:" + std::to_string(lines.size()) + "\n\n";
}

struct ReportCase {
  const char* what;
  ImageSpec old_image;
  ImageSpec new_image;
  std::string expected;
};

void expect_reports(const std::vector<ReportCase>& cases) {
  for (const ReportCase& c : cases) {
    EXPECT_EQ(report_for(c.old_image, c.new_image), c.expected) << c.what;
  }
}

TEST(ReportEndToEnd, AutorunEntries) {
  expect_reports({
      {"new image only", image_of({}), image_of({entry(u"C:\\Run", u"a.exe", AUTORUN)}),
       section("Autorun: New", {"C:\\Run\\a.exe"})},
      {"old image only", image_of({entry(u"C:\\Run", u"a.exe", AUTORUN)}), image_of({}),
       section("Autorun: Removed", {"C:\\Run\\a.exe"})},
      {"autorun on one side, plain entry on the other",
       image_of({entry(u"C:\\Run", u"a.exe", KEPT_A), entry(u"C:\\Run", u"b.exe", AUTORUN)}),
       image_of({entry(u"C:\\Run", u"a.exe", AUTORUN), entry(u"C:\\Run", u"b.exe", KEPT_A)}),
       section("Autorun: New", {"C:\\Run\\a.exe"}) +
           section("Autorun: Removed", {"C:\\Run\\b.exe"}) +
           section("No SHA1:", {"C:\\Run\\a.exe", "C:\\Run\\b.exe"}) +
           section("Changed status:", {"C:\\Run\\a.exe", "C:\\Run\\b.exe"})},
      {"both sides, different autorun bits",
       image_of({entry(u"C:\\Run", u"a.exe", AUTORUN | 0x400)}),
       image_of({entry(u"C:\\Run", u"a.exe", OTHER_AUTORUN | 0x400)}),
       section("Changed status:", {"C:\\Run\\a.exe"})},
      {"new-image paths normalised, old-image paths as loaded",
       image_of({entry(u"c:\\data", u"x.exe", AUTORUN)}),
       image_of({entry(u"c:\\data", u"x.exe", AUTORUN)}),
       section("Autorun: New", {"C:\\data\\x.exe"}) +
           section("Autorun: Removed", {"c:\\data\\x.exe"})},
  });
}

TEST(ReportEndToEnd, HashComparison) {
  const EntrySpec plain = entry(u"C:\\App", u"tool.exe", KEPT_A);
  EntrySpec exempt_a = plain;
  exempt_a.flags_a |= 0x400;
  EntrySpec exempt_c = plain;
  exempt_c.flags_c |= 0x2;
  expect_reports({
      {"different values", image_of({hashed(plain, HASH_1)}), image_of({hashed(plain, HASH_2)}),
       section("Modified:", {"C:\\App\\tool.exe"})},
      {"values differing only in case", image_of({hashed(plain, HASH_1)}),
       image_of({hashed(plain, HASH_1_UPPER)}), section("Modified:", {"C:\\App\\tool.exe"})},
      {"equal values", image_of({hashed(plain, HASH_1)}), image_of({hashed(plain, HASH_1)}), ""},
      {"both sides without a value, listed once", image_of({plain, plain}), image_of({plain}),
       section("No SHA1:", {"C:\\App\\tool.exe"})},
      {"new side without a value", image_of({hashed(plain, HASH_1)}), image_of({plain}),
       section("No SHA1:", {"C:\\App\\tool.exe"})},
      {"exempt by flags_a on the old side", image_of({hashed(exempt_a, HASH_1)}),
       image_of({hashed(plain, HASH_2)}), section("Changed status:", {"C:\\App\\tool.exe"})},
      {"exempt by flags_c on the new side", image_of({plain}), image_of({exempt_c}),
       section("Changed status:", {"C:\\App\\tool.exe"})},
      {"all-zero old status words", image_of({hashed(entry(u"C:\\App", u"tool.exe"), HASH_1)}),
       image_of({hashed(plain, HASH_2)}), ""},
      {"no match in the new image", image_of({hashed(plain, HASH_1)}),
       image_of({hashed(entry(u"C:\\App", u"TOOL.exe", KEPT_A), HASH_2)}), ""},
  });
}

TEST(ReportEndToEnd, StatusComparisonMasksBeforeComparing) {
  auto with_flags = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    EntrySpec spec = hashed(entry(u"C:\\S", u"f", KEPT_A | a, c), HASH_1);
    spec.flags_b = b;
    spec.flags_d = d;
    return image_of({spec});
  };
  const ImageSpec base = with_flags(0, 0, 0, 0);
  const std::string changed = section("Changed status:", {"C:\\S\\f"});
  expect_reports({
      {"bit 0 of flags_a", base, with_flags(0x1, 0, 0, 0), ""},
      {"bit 31 of flags_a", base, with_flags(0x80000000, 0, 0, 0), ""},
      {"any bit of flags_b", base, with_flags(0, 0xFFFFFFFF, 0, 0), ""},
      {"bit 0 of flags_c", base, with_flags(0, 0, 0x1, 0), ""},
      {"kept bit of flags_a", base, with_flags(0x40, 0, 0, 0), changed},
      {"kept bit of flags_c", base, with_flags(0, 0, 0x10, 0), changed},
      {"any bit of flags_d", base, with_flags(0, 0, 0, 0x1), changed},
      {"high bit of flags_d", base, with_flags(0, 0, 0, 0x80000000), changed},
  });
}

TEST(ReportEndToEnd, DuplicateRecordsAndOrdering) {
  expect_reports({
      {"two old records with one key match the same new record",
       image_of({hashed(entry(u"C:\\D", u"x", KEPT_A), HASH_1),
                 hashed(entry(u"C:\\D", u"x", KEPT_A), HASH_1)}),
       image_of({hashed(entry(u"C:\\D", u"x", KEPT_A), HASH_2)}),
       section("Modified:", {"C:\\D\\x"})},
      {"the lowest-index duplicate in the new image is the match",
       image_of({hashed(entry(u"C:\\D", u"x", KEPT_A), HASH_1)}),
       image_of({hashed(entry(u"C:\\D", u"x", KEPT_A), HASH_2),
                 hashed(entry(u"C:\\D", u"x", KEPT_A), HASH_1)}),
       section("Modified:", {"C:\\D\\x"})},
      {"order and first spelling", image_of({}),
       image_of({entry(u"", u"Ax", AUTORUN), entry(u"", u"abcd", AUTORUN),
                 entry(u"", u"_x", AUTORUN), entry(u"", u"abc", AUTORUN),
                 entry(u"", u"AX", AUTORUN), entry(u"", u"ax", AUTORUN)}),
       section("Autorun: New", {"_x", "abc", "abcd", "Ax"})},
  });
}

TEST(ReportEndToEnd, LongPathsAreWrittenWhole) {
  const std::u16string directory = u"C:\\" + std::u16string(2044, u'd');
  const std::u16string name(259, u'n');
  const std::string expected =
      section("Autorun: New", {"C:\\" + std::string(2044, 'd') + "\\" + std::string(259, 'n')});
  EXPECT_EQ(report_for(image_of({}), image_of({entry(directory, name, AUTORUN)})), expected);
}

TEST(ReportEndToEnd, TextIsEncodedForTheLocaleAndControlsAreMasked) {
  const ImageSpec names = image_of({entry(u"C:\\Users\\Zo\x00EB", u"\x65E5\x672C.txt", AUTORUN),
                                    entry(u"C:\\x", u"evil\nAutorun: New\x1B[2J", AUTORUN),
                                    entry(u"C:\\x",
                                          u"c1\x009B"
                                          u"31m\x007F",
                                          AUTORUN),
                                    entry(u"C:\\x", u"tab\there", AUTORUN),
                                    entry(u"C:\\x", u"\u202Eexe.txt", AUTORUN)});
#ifdef _WIN32
  // Windows writes the ANSI code page of the user's default locale, whatever the caller names.
  // Code page 1252 (Wine's default English locale) has U+00EB but not U+65E5 or U+672C.
  if (::GetACP() != 1252) {
    GTEST_SKIP() << "expectations are for code page 1252, not " << ::GetACP();
  }
  EXPECT_EQ(report_for(image_of({}), names),
            section("Autorun: New",
                    {"C:\\Users\\Zo\xEB\\??.txt", "C:\\x\\c1?31m?", "C:\\x\\evil?Autorun: New?[2J",
                     "C:\\x\\tab\there", "C:\\x\\?exe.txt"}));
#else
  EXPECT_EQ(report_for(image_of({}), names, "C.UTF-8"),
            section("Autorun: New",
                    {"C:\\Users\\Zo\xC3\xAB\\\xE6\x97\xA5\xE6\x9C\xAC.txt", "C:\\x\\c1?31m?",
                     "C:\\x\\evil?Autorun: New?[2J", "C:\\x\\tab\there", "C:\\x\\?exe.txt"}));
  EXPECT_EQ(report_for(image_of({}), names, "C"),
            section("Autorun: New",
                    {"C:\\Users\\Zo?\\??.txt", "C:\\x\\c1?31m?", "C:\\x\\evil?Autorun: New?[2J",
                     "C:\\x\\tab\there", "C:\\x\\?exe.txt"}));
#endif
}

#ifdef _WIN32
// Where the C runtime cannot take the user's locale (the old runtime under a UTF-8 system code
// page keeps "C" for characters), paths still fold with the user's letters, not only ASCII. The
// Windows CI stage runs this under such a locale; elsewhere it is skipped.
TEST(ReportEndToEnd, PathsFoldWithTheUsersLettersWhereTheRuntimeCannotTakeTheLocale) {
  const char* const chosen = std::setlocale(LC_ALL, "");
  const std::string characters = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_ALL, "C");
  if (chosen != nullptr && characters != "C") {
    GTEST_SKIP() << "the C runtime takes the user's locale here: " << characters;
  }
  const ImageSpec letters =
      image_of({entry(u"C:\\\x00C4", u"x.exe", AUTORUN), entry(u"C:\\\x00E4", u"x.exe", AUTORUN),
                entry(u"C:\\\x0416", u"y.exe", AUTORUN), entry(u"C:\\\x0436", u"y.exe", AUTORUN)});
  // Written in UTF-8, the system code page here.
  EXPECT_EQ(report_for(image_of({}), letters),
            section("Autorun: New", {"C:\\\xC3\x84\\x.exe", "C:\\\xD0\x96\\y.exe"}));
}
#endif

ImageSpec hosts_image(std::string hosts, bool terminated = true) {
  ImageSpec spec;
  spec.hosts = bytes_of(hosts);
  if (terminated) {
    spec.hosts.push_back(0);
  }
  return spec;
}

TEST(ReportEndToEnd, HostsLines) {
  expect_reports({
      {"same line in two cases", hosts_image("10.0.0.1 Server\n"), hosts_image("10.0.0.1 SERVER\n"),
       ""},
      {"leading blanks do not count, trailing blanks do", hosts_image("  1.1.1.1 a\n1.1.1.1 b\n"),
       hosts_image("1.1.1.1 a\n1.1.1.1 b \n"),
       section("Hosts: New", {"1.1.1.1 b "}) + section("Hosts: Removed", {"1.1.1.1 b"})},
      {"CRLF, LF and lone CR line ends", hosts_image("a\r\nb\r\nc\r\n"), hosts_image("a\nb\rc"),
       ""},
      {"comment lines are dropped, later '#' kept", hosts_image("# a comment\n"),
       hosts_image("  # another comment\n1.2.3.4 host # note\n"),
       section("Hosts: New", {"1.2.3.4 host # note"})},
      {"a line twice in the new image only", hosts_image("x\n"), hosts_image("dup\nx\ndup\n"),
       section("Hosts: New", {"dup", "dup"})},
      {"no significant line in the old image", hosts_image("# only\n\n   \n"),
       hosts_image("a\nb\n"), section("Hosts: New", {"a", "b"})},
      {"hosts block without a NUL", hosts_image("a\nb", false), hosts_image("a\nc", false),
       section("Hosts: New", {"c"}) + section("Hosts: Removed", {"b"})},
      {"bytes kept, controls masked", hosts_image(""),
       hosts_image("caf\xE9 x\n1.1.1.1 a\x1B[31m\x7F\n"),
       section("Hosts: New", {"caf\xE9 x", "1.1.1.1 a?[31m?"})},
  });
}

// Whether a byte of a hosts line is a control depends on the encoding the user's locale writes.
TEST(ReportEndToEnd, HostsLinesAreMaskedForTheLocalesEncoding) {
  const ImageSpec hosts = hosts_image("a\xC2\x9Bxy b\x9Bz\n");
#ifdef _WIN32
  // Code page 1252 shows 0x9B as a printable character.
  if (::GetACP() != 1252) {
    GTEST_SKIP() << "expectations are for code page 1252, not " << ::GetACP();
  }
  EXPECT_EQ(report_for(hosts_image(""), hosts), section("Hosts: New", {"a\xC2\x9Bxy b\x9Bz"}));
#else
  EXPECT_EQ(report_for(hosts_image(""), hosts, "C.UTF-8"), section("Hosts: New", {"a?xy b?z"}));
  EXPECT_EQ(report_for(hosts_image(""), hosts, "C"), section("Hosts: New", {"a\xC2?xy b?z"}));
#endif
}

ImageSpec apps_image(std::vector<AppSpec> apps) {
  ImageSpec spec;
  spec.apps = std::move(apps);
  return spec;
}

TEST(ReportEndToEnd, Applications) {
  AppSpec unterminated = app(u"{k}", u"Unterminated");
  unterminated.texts[0] = utf16le(u"{k}", false);
  unterminated.texts[2] = utf16le(u"Unterminated label", false);
  expect_reports({
      {"keys differing only in case", apps_image({app(u"{abc}", u"Old Name")}),
       apps_image({app(u"{ABC}", u"New Name")}),
       section("Applications: New", {"New Name"}) + section("Applications: Removed", {"Old Name"})},
      {"same key, different labels", apps_image({app(u"{k}", u"Label 1")}),
       apps_image({app(u"{k}", u"Label 2")}), ""},
      {"the other image has no applications", apps_image({}),
       apps_image({app(u"{a}", u"A"), app(u"", u"No key"), app(u"{a}", u"A again")}),
       section("Applications: New", {"A", "No key", "A again"})},
      {"key and label without NUL", apps_image({app(u"{k}", u"Old")}),
       apps_image({unterminated, app(u"{z}", u"Z\x1B]0;title\a")}),
       section("Applications: New", {"Z?]0;title?"})},
      {"label without NUL printed whole", apps_image({app(u"{x}", u"X")}),
       apps_image({unterminated}),
       section("Applications: New", {"Unterminated label"}) +
           section("Applications: Removed", {"X"})},
  });
}

TEST(ReportEndToEnd, SectionsComeInTheirFixedOrder) {
  ImageSpec old_image = image_of(
      {entry(u"C:\\r", u"gone.exe", AUTORUN), hashed(entry(u"C:\\m", u"mod.exe", KEPT_A), HASH_1)});
  old_image.apps = {app(u"{old}", u"Old App")};
  old_image.hosts = bytes_of(std::string("1.1.1.1 old\n", 13));
  ImageSpec new_image = image_of({entry(u"C:\\r", u"new.exe", AUTORUN),
                                  hashed(entry(u"C:\\m", u"mod.exe", KEPT_A | 0x40), HASH_2)});
  new_image.apps = {app(u"{new}", u"New App")};
  new_image.hosts = bytes_of(std::string("1.1.1.1 new\n", 13));
  EXPECT_EQ(report_for(old_image, new_image), section("Autorun: New", {"C:\\r\\new.exe"}) +
                                                  section("Applications: New", {"New App"}) +
                                                  section("Hosts: New", {"1.1.1.1 new"}) +
                                                  section("Autorun: Removed", {"C:\\r\\gone.exe"}) +
                                                  section("Applications: Removed", {"Old App"}) +
                                                  section("Hosts: Removed", {"1.1.1.1 old"}) +
                                                  section("Modified:", {"C:\\m\\mod.exe"}) +
                                                  section("Changed status:", {"C:\\m\\mod.exe"}));
}

}  // namespace
}  // namespace tarvel::testing
