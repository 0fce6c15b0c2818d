// tarvel-diff and tarvel-dump: what they write is parsed back with a JSON parser and a CSV
// reader, and tarvel-diff is held against tarvel itself.
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/diff_driver.h"
#include "app/driver.h"
#include "app/dump_driver.h"
#include "image/format.h"
#include "platform/platform.h"
#include "report/record_fields.h"
#include "report/report_items.h"
#include "report/terminal_text.h"
#include "support/expected_output.h"
#include "support/run_tarvel.h"
#include "support/test_records.h"
#include "testing/capture_console.h"
#include "testing/csv_reader.h"
#include "testing/fake_platform.h"
#include "testing/image_writer.h"
#include "testing/sample_images.h"

namespace tarvel::testing {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

#ifdef _WIN32
constexpr bool WINDOWS = true;
#else
constexpr bool WINDOWS = false;
#endif

std::vector<Json> json_lines(const std::string& text) {
  keep_json_lines(text);  // for the check against the JSON Schemas
  std::vector<Json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(Json::parse(line));  // throws, failing the test, on a line that is not JSON
  }
  return lines;
}

// A pair of images that tests more than the samples: names differing in case and duplicated,
// controls, a right-to-left override and a lone surrogate in paths, a C1 control in a hosts
// line, an application without a label.
std::pair<ImageSpec, ImageSpec> hostile_pair() {
  ImageSpec old_image;
  ImageSpec new_image;
  const std::u16string odd_names[] = {u"Setup.exe", u"setup.EXE", u"a\x001B[2Jb.exe",
                                      u"txt.\x202E" u"exe", std::u16string(u"lone\xD800.dll"),
                                      u"line\x2028" u"break"};
  for (const std::u16string& name : odd_names) {
    old_image.entries.push_back(entry(u"C:\\Odd", name, 0x24));
    new_image.entries.push_back(entry(u"C:\\Odd", name + u"2", 0x24));
  }
  old_image.entries.push_back(entry(u"C:\\Odd", u"dup", 0x24));
  old_image.entries.push_back(entry(u"C:\\Odd", u"dup", 0x24));
  old_image.hosts = bytes_of(std::string("10.0.0.1 c1\xC2\x9Bhost\n10.0.0.2 \xE9t\xE9\n\0", 31));
  new_image.hosts = bytes_of(std::string("10.0.0.3 new\n\0", 14));
  new_image.apps = {app(u"{k\xD800}", u""), app(u"{ok}", u"Label\x001B")};
  return {old_image, new_image};
}

// tarvel's report as lists of lines, keyed by heading.
std::vector<std::pair<std::string, std::vector<std::string>>> report_sections(
    const std::string& report) {
  std::vector<std::pair<std::string, std::vector<std::string>>> sections;
  std::istringstream in(report);
  bool in_section = false;
  for (std::string line; std::getline(in, line);) {
    if (!in_section) {
      if (!line.empty()) {
        sections.emplace_back(line, std::vector<std::string>{});
        in_section = true;
      }
    } else if (line.starts_with("Total:")) {
      in_section = false;
    } else {
      sections.back().second.push_back(line);  // a member, empty ones too
    }
  }
  return sections;
}

std::u16string units_of_hex(const std::string& hex) {
  std::u16string units;
  for (std::size_t at = 0; at + 4 <= hex.size(); at += 4) {
    units.push_back(static_cast<char16_t>(std::stoul(hex.substr(at, 4), nullptr, 16)));
  }
  return units;
}

std::u16string utf16_of(const std::string& utf8) {
  std::u16string out;
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t i = 1; i < length; ++i) {
      c = (c << 6) | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    at += length;
  }
  return out;
}

std::string bytes_of_hex(const std::string& hex) {
  std::string bytes;
  for (std::size_t at = 0; at + 2 <= hex.size(); at += 2) {
    bytes.push_back(static_cast<char>(std::stoul(hex.substr(at, 2), nullptr, 16)));
  }
  return bytes;
}

// The encoding tarvel writes in when the tests run it: C.UTF-8's, or on Windows the ANSI code
// page of the user's locale.
const OutputEncoding& test_output_encoding() {
#ifdef _WIN32
  static const OutputEncoding encoding =
      output_encoding_of_locale("." + std::to_string(::GetACP())).value_or(OutputEncoding::utf8());
#else
  static const OutputEncoding encoding = OutputEncoding::utf8();
#endif
  return encoding;
}

// A change line as tarvel would print it: the exact text, made terminal-safe. Wide text in the
// tests' hostile images is ASCII once masked, so it reads the same in every encoding.
std::string as_terminal_line(const Json& change) {
  if (change["section"] == "hosts") {
    const std::string line = change.contains("line_hex")
                                 ? bytes_of_hex(change["line_hex"].get<std::string>())
                                 : change["line"].get<std::string>();
    std::string scratch;
    return std::string(terminal_safe(line, test_output_encoding(), scratch));
  }
  const char* key = change["section"] == "application" ? "label" : "path";
  const std::string hex_key = std::string(key) + "_hex";
  const std::u16string text = change.contains(hex_key)
                                  ? units_of_hex(change[hex_key].get<std::string>())
                                  : utf16_of(change[key].get<std::string>());
  std::u16string scratch;
  std::string out;
  WideEncoder(&encode_utf8).append(terminal_safe(text, scratch), out);
  return out;
}

TEST(Companions, TarvelDiffReportsWhatTarvelReportsInTheSameOrder) {
  const TempDir dir;
  const auto [hostile_old, hostile_new] = hostile_pair();
  const std::pair<std::string, std::string> pairs[] = {
      {dir.write("old.img", write_image(sample_old_image())),
       dir.write("new.img", write_image(sample_new_image()))},
      {dir.write("hostile-old.img", write_image(hostile_old)),
       dir.write("hostile-new.img", write_image(hostile_new))},
      {dir.write("hostile-new-2.img", write_image(hostile_new)),
       dir.write("sample-old.img", write_image(sample_old_image()))},
  };
  for (const auto& [old_path, new_path] : pairs) {
    SCOPED_TRACE(old_path);
    const RunResult tarvel = run_tarvel({old_path, new_path});
    const RunResult diff = run_program(TARVEL_DIFF_EXE, {"--format", "jsonl", old_path, new_path},
                                       "C.UTF-8", StandardOutput::pipe_bytes);
    ASSERT_EQ(tarvel.status, 0);
    ASSERT_EQ(diff.status, 1) << diff.errors;
    const auto sections =
        report_sections(tarvel.output.substr(before_report(old_path, new_path).size()));
    const std::vector<Json> lines = json_lines(diff.output);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front()["schema"], "tarvel-diff/2");
    EXPECT_EQ(lines.back()["type"], "summary");
    std::vector<std::pair<std::string, std::vector<std::string>>> from_json;
    for (std::size_t at = 1; at + 1 < lines.size(); ++at) {
      const Json& change = lines[at];
      std::string heading;
      for (const ReportList& list : REPORT_LISTS) {
        if (change["section"] == list.section_name() && change["change"] == list.change_name) {
          heading = std::string(list.heading.begin(), list.heading.end() - 1);
        }
      }
      if (from_json.empty() || from_json.back().first != heading) {
        from_json.emplace_back(heading, std::vector<std::string>{});
      }
      from_json.back().second.push_back(as_terminal_line(change));
    }
    EXPECT_EQ(from_json, sections);
    EXPECT_EQ(lines.back()["differences"], lines.size() - 2);
  }
}

// A CSV row's cell in the column of this name (the first row holds the names).
std::string csv_cell(const std::vector<CsvRecord>& rows, std::size_t row, std::string_view name) {
  const auto at = std::find(rows.at(0).begin(), rows.at(0).end(), name);
  return at == rows[0].end() ? "no column " + std::string(name)
                             : rows.at(row).at(static_cast<std::size_t>(at - rows[0].begin()));
}

struct DiffRun {
  int status;
  std::string output;
  std::string errors;
  std::map<std::string, std::string> files;
};

DiffRun diff(FakePlatform& platform, std::vector<std::filesystem::path> arguments) {
  arguments.insert(arguments.begin(), "tarvel-diff");
  DiffRun run;
  run.status = run_diff(arguments, platform);
  run.output = platform.output();
  run.errors = platform.error_output();
  run.files = platform.written;
  return run;
}

TEST(Companions, TarvelDiffExitStatusesAndTroubleLines) {
  ImageSpec broken = sample_new_image();
  broken.trailer_length = 0;
  Bytes malformed = write_image(broken);
  put_u32(malformed, IMAGE_HEADER_END, 0x7FFFFFFF);  // the first skipped block's length
  ImageSpec wrong_digest = sample_new_image();
  wrong_digest.corrupt_digest = true;
  Bytes version_9 = write_image(sample_new_image());
  version_9[0] = 9;
  struct Case {
    std::vector<std::filesystem::path> arguments;
    int status;
    std::string errors;  // the start of what standard error holds
  };
  const Case cases[] = {
      {{"old", "old"}, 0, ""},
      {{"old", "new"}, 1, ""},
      {{"old", "missing"}, 2, "tarvel-diff: missing: cannot open: No such file or directory\n"},
      {{"old", ""}, 2, "tarvel-diff: an empty path names no image\n"},
      {{"-o", "", "old", "new"}, 2, "tarvel-diff: option -o has an empty value\n"},
      // An output path that names an input, by its name or through a link, is never written.
      {{"-o", "new", "old", "new"}, 2, "tarvel-diff: new: is an input of this run"},
      {{"--format=jsonl", "--output=link", "old", "new"}, 2, "tarvel-diff: link: is an input of this run"},
      {{"--exclude-from", "rules", "-o", "rules", "old", "new"}, 2,
       "tarvel-diff: rules: is an input of this run"},
      {{"empty", "new"}, 2, "tarvel-diff: empty: empty\n"},
      {{"old", "digest"}, 2, "tarvel-diff: digest: digest mismatch\n"},
      {{"old", "version9"}, 2, "tarvel-diff: version9: version 9 not supported\n"},
      {{"malformed", "new"}, 2,
       "tarvel-diff: malformed: malformed at byte offset " + std::to_string(IMAGE_HEADER_END) +
           ": expected a skipped block"},
      {{"old"}, 2, "tarvel-diff: two images are needed"},
      {{"--format", "xml", "old", "new"}, 2, "tarvel-diff: unknown format 'xml'"},
      {{"--bogus", "old", "new"}, 2, "tarvel-diff: unknown option --bogus"},
      {{"--summary=yes", "old", "new"}, 2, "tarvel-diff: option --summary takes no value"},
      // Options as getopt_long reads them: combined, attached, after "=", and "--".
      {{"-qo", "new", "old", "new"}, 2, "tarvel-diff: new: is an input of this run"},
      {{"-qonew", "old", "new"}, 2, "tarvel-diff: new: is an input of this run"},
      {{"--output", "new", "old", "new"}, 2, "tarvel-diff: new: is an input of this run"},
      {{"-qx", "old", "new"}, 2, "tarvel-diff: unknown option -x"},
      {{"old", "new", "-o"}, 2, "tarvel-diff: option -o needs a value"},
      {{"old", "new", "--format"}, 2, "tarvel-diff: option --format needs a value"},
      {{"-q", "--", "old", "-new"}, 2, "tarvel-diff: -new: cannot open"},
      {{"-o", "-", "--format=csv", "old", "old"}, 0, ""},
      // A file name or an option can hold what a terminal acts on; the trouble line cannot.
      {{"old", "gone\x1b]0;x\a"}, 2, "tarvel-diff: gone?]0;x?: cannot open: No such file"},
      {{"--x\x1b[2J", "old", "new"}, 2, "tarvel-diff: unknown option --x?[2J\n"},
      {{"-q", "old", "new"}, 1, ""},
      // "-" is standard input, for one image only; a pipe is read as a file would be.
      {{"-", "new"}, 1, ""},
      {{"stream", "-"}, 0, ""},
      {{"-", "-"}, 2, "tarvel-diff: standard input ('-') can be only one of the images\n"},
      {{"old", "./-"}, 2, "tarvel-diff: ./-: cannot open: No such file"},
      {{"-o", "-", "-", "new"}, 1, ""},
      // Standard input here reads the file "old": it is evidence as the others are.
      {{"-o", "old", "-", "new"}, 2, "tarvel-diff: old: is an input of this run"},
      {{"--version"}, 0, ""},
      {{"-h"}, 0, ""},
#ifdef _WIN32
      // Help as Windows programs give it; no file there can be named '?'.
      {{"/?"}, 0, ""},
      {{"-?"}, 0, ""},
      {{"--", "/?", "new"}, 2, "tarvel-diff: /?: cannot open: "},
#else
      {{"/?"}, 2, "tarvel-diff: two images are needed"},
      {{"-?"}, 2, "tarvel-diff: unknown option -?"},
#endif
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.add_file("old", write_image(sample_old_image()));
    platform.add_file("new", write_image(sample_new_image()));
    platform.add_file("empty", Bytes{});
    platform.add_file("digest", write_image(wrong_digest));
    platform.add_file("version9", version_9);
    platform.add_file("malformed", malformed);
    platform.add_file("rules", bytes_of("*.tmp\n"));
    platform.same_files["link"] = "new";
    platform.written["out"] = "an earlier report";
    platform.standard_input = platform.files["old"];
    platform.standard_input_file = "old";
    FakeFile stream = platform.files["old"];
    stream.stream = true;
    platform.add_file("stream", stream);
    const DiffRun run = diff(platform, c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments.back();
    EXPECT_TRUE(run.errors.starts_with(c.errors)) << run.errors;
    if (c.errors.empty()) {
      EXPECT_EQ(run.errors, "");
    }
    EXPECT_EQ(platform.written.size(), 1u) << "trouble leaves no output file";
    EXPECT_EQ(platform.written["out"], "an earlier report");
    if (c.status == 2 || c.arguments.front() == "-q") {
      EXPECT_EQ(run.output, "") << "trouble and -q write nothing on standard output";
    }
    if (c.status == 0 && c.arguments.size() == 1 && c.arguments.front() != "--version") {
      EXPECT_TRUE(run.output.starts_with("Usage: tarvel-diff")) << run.output;
    }
  }
}

TEST(Companions, TarvelDiffExclusionsAndOutputFiles) {
  FakePlatform platform;
  platform.add_file("old", write_image(sample_old_image()));
  platform.add_file("new", write_image(sample_new_image()));
  platform.add_file("rules", bytes_of("# known noise\nhosts\t*LINDELL*\n*\\notepad.exe\n"
                                      "application\t{C3D4-*}\n"));
  platform.add_file("more-rules", bytes_of("\xEF\xBB\xBF# typos show\n*.tpm\n*\\notepad.exe\n"));
  const DiffRun run = diff(platform, {"--format", "jsonl", "--exclude-from", "rules", "-o",
                                      "out.jsonl", "--exclude-from=more-rules", "old", "new"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
  const std::vector<Json> lines = json_lines(run.files.at("out.jsonl"));
  const Json& summary = lines.back();
  EXPECT_EQ(summary["unmatched_rules"],
            Json::parse(R"([{"rules_file":"rules","unmatched_lines":[]},)"
                        R"({"rules_file":"more-rules","unmatched_lines":[2]}])"));
  const DiffRun text_summary = diff(platform, {"--summary", "--exclude-from", "more-rules", "old", "new"});
  EXPECT_NE(text_summary.output.find("\t\trules\tunmatched\t1\t\t\t\tmore-rules\t\t2\t\n"),
            std::string::npos)
      << text_summary.output;
  EXPECT_EQ(summary["differences"], 6);
  EXPECT_EQ(summary["excluded"]["hosts"]["added"], 1);
  EXPECT_EQ(summary["excluded"]["file"]["no_sha1"], 1);
  EXPECT_EQ(summary["excluded"]["application"]["added"], 1);
  for (const Json& line : lines) {
    EXPECT_EQ(line.dump().find("notepad"), std::string::npos);
  }

  FakePlatform csv_platform;
  csv_platform.add_file("old", write_image(sample_old_image()));
  csv_platform.add_file("new", write_image(sample_new_image()));
  const DiffRun csv = diff(csv_platform, {"--format=csv", "old", "new"});
  std::vector<CsvRecord> records;
  ASSERT_TRUE(read_csv(csv.output, records));
  ASSERT_EQ(records.size(), 10u);
  for (const CsvRecord& record : records) {
    EXPECT_EQ(record.size(), records.front().size());
  }
  EXPECT_EQ(csv_cell(records, 7, "path"), "C:\\Program Files\\Lindell\\viewer.exe");

  // A value after '=' is a path like any other, whatever its letters.
  FakePlatform named;
  named.add_file("old", write_image(sample_old_image()));
  named.add_file("new", write_image(sample_new_image()));
  const std::filesystem::path report_path(u8"r\u00e9sum\u00e9.csv");
  std::filesystem::path output_option("-o=");
  output_option += report_path;
  const DiffRun to_file = diff(named, {"--format=csv", output_option, "old", "new"});
  EXPECT_EQ(to_file.status, 1) << to_file.errors;
  EXPECT_EQ(to_file.files.at(report_path.string()), csv.output);

  FakePlatform bad;
  bad.add_file("old", write_image(sample_old_image()));
  bad.add_file("bad-rules", bytes_of("*.tmp\nregistry\tx\n"));
  const DiffRun refused = diff(bad, {"--exclude-from", "bad-rules", "old", "old"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.errors.starts_with("tarvel-diff: bad-rules: line 2: unknown section"))
      << refused.errors;
}

// Status words are shown as the comparison masks them, each image's from its own entry.
TEST(Companions, StatusWordsAreMaskedAndTakenFromTheirOwnEntry) {
  ImageSpec old_image;
  ImageSpec new_image;
  old_image.entries = {entry(u"C:\\Tools", u"probe.exe", 0x20, 0x80000001)};
  old_image.entries[0].flags_b = 7;
  old_image.entries[0].properties = sha1_property(std::u16string(40, u'a'));
  new_image.entries = {old_image.entries[0]};
  new_image.entries[0].flags_a = 0x60;
  new_image.entries[0].flags_b = 9;
  FakePlatform platform;
  platform.add_file("old", write_image(old_image));
  platform.add_file("new", write_image(new_image));
  const std::vector<Json> lines = json_lines(diff(platform, {"--format=jsonl", "old", "new"}).output);
  ASSERT_EQ(lines.size(), 3u);
  const std::pair<const char*, std::string> expected[] = {
      {"old_flags_a", "32"}, {"old_flags_b", "0"}, {"old_flags_c", "2147483648"},
      {"old_flags_d", "0"},  {"new_flags_a", "96"}, {"new_flags_b", "0"},
      {"new_flags_c", "2147483648"}, {"new_flags_d", "0"}};
  FakePlatform csv_platform;
  csv_platform.files = platform.files;
  std::vector<CsvRecord> rows;
  ASSERT_TRUE(read_csv(diff(csv_platform, {"--format=csv", "old", "new"}).output, rows));
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& [name, value] : expected) {
    EXPECT_EQ(lines[1][name].dump(), value) << name;
    EXPECT_EQ(csv_cell(rows, 1, name), value) << name;
  }
}

// Every field that cannot be written whole keeps its own exact units, in both formats.
TEST(Companions, TarvelDiffKeepsTheExactUnitsOfEachLossyField) {
  const std::u16string lone_key(u"{k\xD800}");
  const std::u16string lone_sha1 = u"\xDC00" + std::u16string(39, u'a');
  ImageSpec old_image;
  ImageSpec new_image;
  old_image.entries = {entry(u"C:\\Tools", u"probe.exe", 0x24)};
  old_image.entries[0].properties = sha1_property(lone_sha1);
  new_image.entries = {entry(u"C:\\Tools", u"probe.exe", 0x24)};
  new_image.entries[0].properties = sha1_property(std::u16string(40, u'b'));
  new_image.apps = {app(lone_key, u"Plain label")};
  FakePlatform platform;
  platform.add_file("old", write_image(old_image));
  platform.add_file("new", write_image(new_image));

  const std::vector<Json> lines = json_lines(diff(platform, {"--format=jsonl", "old", "new"}).output);
  ASSERT_EQ(lines.size(), 4u);
  const Json& added = lines[1];
  EXPECT_EQ(added["label"], "Plain label");
  EXPECT_FALSE(added.contains("label_hex"));
  EXPECT_EQ(units_of_hex(added["key_hex"].get<std::string>()), lone_key);
  const Json& modified = lines[2];
  EXPECT_EQ(modified["change"], "modified");
  EXPECT_EQ(modified["lossy"], true);
  EXPECT_EQ(units_of_hex(modified["old_sha1_hex"].get<std::string>()), lone_sha1);
  EXPECT_FALSE(modified.contains("new_sha1_hex"));

  FakePlatform csv_platform;
  csv_platform.add_file("old", write_image(old_image));
  csv_platform.add_file("new", write_image(new_image));
  std::vector<CsvRecord> rows;
  ASSERT_TRUE(read_csv(diff(csv_platform, {"--format=csv", "old", "new"}).output, rows));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(csv_cell(rows, 1, "label_hex"), "");
  EXPECT_EQ(units_of_hex(csv_cell(rows, 1, "key_hex")), lone_key);
  EXPECT_EQ(csv_cell(rows, 1, "lossy"), "true");
  EXPECT_EQ(units_of_hex(csv_cell(rows, 2, "old_sha1_hex")), lone_sha1);
  EXPECT_EQ(csv_cell(rows, 2, "new_sha1_hex"), "");

  // The formula guard loses nothing: stripping one leading apostrophe gives each label back.
  ImageSpec labelled;
  labelled.apps = {app(u"{a}", u"=1+1"), app(u"{b}", u"'=1+1")};
  FakePlatform guard_platform;
  guard_platform.add_file("old", write_image(ImageSpec{}));
  guard_platform.add_file("new", write_image(labelled));
  std::vector<CsvRecord> guarded;
  ASSERT_TRUE(read_csv(diff(guard_platform, {"--format=csv", "old", "new"}).output, guarded));
  ASSERT_EQ(guarded.size(), 3u);
  guarded[1] = unguard_csv(guarded[1]);
  guarded[2] = unguard_csv(guarded[2]);
  EXPECT_EQ(csv_cell(guarded, 1, "label"), "=1+1");
  EXPECT_EQ(csv_cell(guarded, 2, "label"), "'=1+1");

  // tarvel-dump keeps the same SHA1 text the same way.
  EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "old"}, csv_platform), 0);
  const std::vector<Json> dumped = json_lines(csv_platform.output().substr(
      csv_platform.output().find("{\"type\":\"header\"")));
  EXPECT_EQ(units_of_hex(dumped.back()["sha1_hex"].get<std::string>()), lone_sha1);
}

// --host names the host on every record and row, exactly or with its exact bytes beside it;
// --no-header leaves out the row of column names where there is one, and nothing else.
TEST(Companions, TarvelDiffNamesTheHostAndDropsOnlyTheColumnNames) {
  struct Case {
    std::vector<std::filesystem::path> format;
    bool names_row;  // whether the output starts with a row of column names
  };
  const Case cases[] = {
      {{"--format=jsonl"}, false},
      {{"--format=jsonl", "--summary"}, false},
      {{"--format=csv"}, true},
      {{"--format=csv", "--summary"}, true},
      {{"--format=text"}, false},
      {{"--format=text", "--summary"}, true},
  };
  struct Host {
    std::filesystem::path name;
    std::string text;  // as a record shows it
    std::string hex;   // its exact form, where the text is not whole
  };
  std::vector<Host> hosts = {{"h1", "h1", ""}, {"=cmd", "=cmd", ""}, {"a\tb", "a\tb", ""}};
  if (!WINDOWS) {
    hosts.push_back({std::filesystem::path(std::string("h\xFF")), "h\xEF\xBF\xBD", "68ff"});
  }
  for (const Host& host : hosts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.format.front().string() + (c.format.size() > 1 ? " --summary " : " ") +
                   host.hex);
      const auto run = [&](bool header) {
        FakePlatform platform;
        platform.add_file("old", write_image(sample_old_image()));
        platform.add_file("new", write_image(sample_new_image()));
        std::vector<std::filesystem::path> arguments = c.format;
        arguments.insert(arguments.end(), {"--host", host.name});
        if (!header) {
          arguments.push_back("--no-header");
        }
        arguments.insert(arguments.end(), {"old", "new"});
        const DiffRun result = diff(platform, arguments);
        EXPECT_EQ(result.status, 1) << result.errors;
        return result.output;
      };
      const std::string with_names = run(true);
      const std::string without_names = run(false);
      const std::size_t first_line = with_names.find('\n') + 1;
      EXPECT_EQ(without_names, c.names_row ? with_names.substr(first_line) : with_names);

      if (c.format.front() == "--format=jsonl") {
        const std::vector<Json> lines = json_lines(with_names);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.front()["type"], "header");
        for (const Json& line : lines) {
          if (line["type"] == "header" || line["type"] == "summary" ||
              line["type"] == "change") {
            EXPECT_EQ(line["host"], host.text) << line.dump();
            EXPECT_EQ(line.value("host_hex", ""), host.hex) << line.dump();
            EXPECT_EQ(line.contains("lossy"), !host.hex.empty()) << line.dump();
          }
        }
      } else if (c.format.front() == "--format=csv") {
        std::vector<CsvRecord> rows;
        ASSERT_TRUE(read_csv(with_names, rows));
        ASSERT_GE(rows.size(), 2u);
        for (std::size_t row = 1; row < rows.size(); ++row) {
          EXPECT_EQ(unguard_csv(rows[row]).at(0), host.text);
          EXPECT_EQ(csv_cell(rows, row, "host_hex"), host.hex);
          EXPECT_EQ(csv_cell(rows, row, "lossy"), host.hex.empty() ? "" : "true");
        }
      } else if (c.names_row) {
        // The text summary's rows keep their columns, whatever the host's name holds.
        std::istringstream lines(with_names);
        for (std::string line; std::getline(lines, line);) {
          EXPECT_EQ(std::count(line.begin(), line.end(), '\t'),
                    static_cast<std::ptrdiff_t>(csv_columns(SUMMARY_FIELDS).size() - 1))
              << line;
        }
      }
    }
  }
}

// What the manual pages' NOTES describe as the format's own rules, held to what the comparison does:
// the counts of a run as "section.change=n" for every count that is not 0.
TEST(Companions, TheDocumentedSurprisesOfTheFormatHold) {
  const auto with_sha1 = [](EntrySpec spec, std::u16string_view sha1) {
    spec.properties = sha1_property(sha1);
    return spec;
  };
  const std::u16string lower_sha1(40, u'a');
  const std::u16string upper_sha1(40, u'A');
  const std::u16string other_sha1(40, u'b');
  struct Case {
    const char* what;
    std::vector<EntrySpec> old_entries;
    std::vector<EntrySpec> new_entries;
    std::vector<AppSpec> old_apps;
    std::vector<AppSpec> new_apps;
    std::string counts;
  };
  const Case cases[] = {
      {"an image with a lower-case directory, compared with itself",
       {entry(u"c:\\tools", u"run.exe", 0x24)}, {entry(u"c:\\tools", u"run.exe", 0x24)}, {}, {},
       "autorun.added=1 autorun.removed=1"},
      // Matched, it is listed for what it lacks: a SHA1 value.
      {"the same with an upper-case directory", {entry(u"C:\\tools", u"run.exe", 0x24)},
       {entry(u"C:\\tools", u"run.exe", 0x24)}, {}, {}, "file.no_sha1=1"},
      {"SHA1 values that differ in letter case only",
       {with_sha1(entry(u"C:\\T", u"a.exe", 0x20), lower_sha1)},
       {with_sha1(entry(u"C:\\T", u"a.exe", 0x20), upper_sha1)}, {}, {}, "file.modified=1"},
      {"an old entry whose status words are all 0", {with_sha1(entry(u"C:\\T", u"a.exe"), lower_sha1)},
       {with_sha1(entry(u"C:\\T", u"a.exe", 0x20), other_sha1)}, {}, {}, ""},
      {"two new entries whose paths differ in letter case only", {},
       {entry(u"C:\\T", u"a.exe", 0x24), entry(u"C:\\T", u"A.exe", 0x24)}, {}, {},
       "autorun.added=1"},
      {"an application whose label changed under the same key", {}, {},
       {app(u"{k}", u"Viewer 1")}, {app(u"{k}", u"Viewer 2")}, ""},
  };
  for (const Case& c : cases) {
    ImageSpec old_image;
    ImageSpec new_image;
    old_image.entries = c.old_entries;
    new_image.entries = c.new_entries;
    old_image.apps = c.old_apps;
    new_image.apps = c.new_apps;
    FakePlatform platform;
    platform.add_file("old", write_image(old_image));
    platform.add_file("new", write_image(new_image));
    const DiffRun run = diff(platform, {"--format=jsonl", "--summary", "old", "new"});
    const std::vector<Json> lines = json_lines(run.output);
    ASSERT_EQ(lines.size(), 2u) << c.what << run.errors;
    EXPECT_EQ(lines[0]["type"], "header");
    std::string counts;
    for (const auto& [section, changes] : lines[1]["count"].items()) {
      if (!changes.is_object()) {
        continue;  // the total
      }
      for (const auto& [change, count] : changes.items()) {
        if (count != 0) {
          counts += (counts.empty() ? "" : " ") + section + "." + change + "=" + count.dump();
        }
      }
    }
    EXPECT_EQ(counts, c.counts) << c.what;
  }
}

TEST(Companions, TarvelDumpWritesEveryRecordAndVerifies) {
  const auto [hostile_old, hostile_new] = hostile_pair();
  FakePlatform platform;
  platform.add_file("sample", write_image(sample_old_image()));
  platform.add_file("hostile", write_image(hostile_old));
  ImageSpec broken = sample_old_image();
  broken.trailer_length = 0;
  broken.entries[2].properties_length = 0x7FFFFFFF;
  platform.add_file("broken", write_image(broken));
  std::vector<std::filesystem::path> arguments = {"tarvel-dump", "sample"};

  EXPECT_EQ(run_dump(arguments, platform), 0);
  const std::vector<Json> lines = json_lines(platform.output());
  std::map<std::string, int> kinds;
  for (const Json& line : lines) {
    ++kinds[line["type"].get<std::string>()];
  }
  EXPECT_EQ(kinds, (std::map<std::string, int>{
                       {"header", 1}, {"hosts", 3}, {"application", 2}, {"entry", 6}}));
  EXPECT_EQ(lines[0]["digest"], "checked");
  EXPECT_EQ(lines[6]["properties"][0]["value"], lines[6]["sha1"]);

  FakePlatform hostile_platform;
  hostile_platform.add_file("hostile", write_image(hostile_old));
  EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "hostile"},
                     hostile_platform),
            0);
  bool lossy_seen = false;
  for (const Json& line : json_lines(hostile_platform.output())) {
    if (line.contains("name_hex")) {
      lossy_seen = true;
      EXPECT_EQ(units_of_hex(line["name_hex"].get<std::string>()),
                std::u16string(u"lone\xD800.dll"));
      EXPECT_EQ(line["lossy"], true);
    }
  }
  EXPECT_TRUE(lossy_seen);

  FakePlatform csv_platform;
  csv_platform.add_file("hostile", write_image(hostile_old));
  EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "--format", "csv",
                                                        "hostile"},
                     csv_platform),
            0);
  std::vector<CsvRecord> records;
  ASSERT_TRUE(read_csv(csv_platform.output(), records));
  for (const CsvRecord& record : records) {
    EXPECT_EQ(record.size(), records.front().size());
  }

  // Texts longer than the dump keeps in memory stream as hexadecimal digits, in both formats.
  ImageSpec long_texts;
  const std::string long_line(1536 * 1024, 'h');
  long_texts.hosts = bytes_of(long_line + "\n10.0.0.1 short\n" + std::string(1, '\0'));
  // Streamed as its units, as a text kept in memory is: the byte order of each unit, and the
  // end at the NUL unit, hold across the pieces it is read in.
  const std::u16string long_key = u"\x20AC" + std::u16string(800 * 1024, u'k') + u"\xD800";
  long_texts.apps = {app(long_key, u"after")};
  for (const char* format : {"jsonl", "csv"}) {
    FakePlatform long_platform;
    long_platform.add_file("long", write_image(long_texts));
    EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "--format", format,
                                                          "long"},
                       long_platform),
              0);
    const std::string out = long_platform.output();
    if (std::string(format) == "jsonl") {
      const std::vector<Json> dumped = json_lines(out);
      ASSERT_EQ(dumped.size(), 4u);
      EXPECT_EQ(dumped[1]["line_hex"].get<std::string>().size(), 2 * long_line.size());
      EXPECT_EQ(dumped[2]["line"], "10.0.0.1 short");
      EXPECT_EQ(dumped[3]["label"], "after");
      EXPECT_EQ(units_of_hex(dumped[3]["key_hex"].get<std::string>()), long_key);
    } else {
      std::vector<CsvRecord> rows;
      ASSERT_TRUE(read_csv(out, rows));
      ASSERT_EQ(rows.size(), 5u);
      for (const CsvRecord& row : rows) {
        EXPECT_EQ(row.size(), rows.front().size());
      }
      EXPECT_EQ(csv_cell(rows, 2, "line"), "");
      EXPECT_EQ(csv_cell(rows, 2, "line_hex").size(), 2 * long_line.size());
      EXPECT_EQ(csv_cell(rows, 3, "line"), "10.0.0.1 short");
      EXPECT_EQ(units_of_hex(csv_cell(rows, 4, "key_hex")), long_key);
      EXPECT_EQ(csv_cell(rows, 4, "label"), "after");
    }
  }

  // An image that breaks off inside an application: the record is closed, and says so.
  ImageSpec cut = sample_old_image();
  cut.trailer_length = 0;
  cut.app_count = 3;
  cut.entries.clear();
  FakePlatform cut_platform;
  cut_platform.add_file("cut", write_image(cut));
  EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "cut"}, cut_platform), 1);
  const std::vector<Json> cut_lines = json_lines(cut_platform.output());
  EXPECT_EQ(cut_lines.back()["incomplete"], true);

  struct Verify {
    std::string image;
    int status;
    std::string errors;
  };
  FakePlatform help;
  EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "/?"}, help), WINDOWS ? 0 : 2);
  EXPECT_EQ(help.output().starts_with("Usage: tarvel-dump"), WINDOWS);
  // A file that can be read but holds no sound image is refused with 1, whatever is wrong.
  Bytes short_5 = write_image(sample_old_image());
  short_5.resize(30);
  for (const Verify& v : {Verify{"sample", 0, ""}, Verify{"missing", 2, "cannot open: No such"},
                          Verify{"broken", 1, "malformed at byte offset"},
                          Verify{"empty", 1, "empty"}, Verify{"ten", 1, "version"},
                          Verify{"short5", 1, "too short for a version 5 image"}}) {
    FakePlatform verify;
    verify.add_file("sample", write_image(sample_old_image()));
    verify.add_file("broken", write_image(broken));
    verify.add_file("empty", Bytes{});
    verify.add_file("ten", Bytes(10, 0x41));
    verify.add_file("short5", short_5);
    EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "--verify", v.image},
                       verify),
              v.status)
        << v.image;
    EXPECT_EQ(verify.output(), "");
    EXPECT_NE(verify.error_output().find(v.errors), std::string::npos) << verify.error_output();
    if (v.status == 0) {
      EXPECT_EQ(verify.error_output(), "");
    }
  }
  FakePlatform short_platform;
  short_platform.add_file("short5", short_5);
  EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "short5"}, short_platform),
            1);
  EXPECT_EQ(json_lines(short_platform.output()).front()["digest"], "missing");
}

// The dump reads its image twice through one handle; bytes that changed in between never reach
// the output, and the run says so.
TEST(Companions, TarvelDumpHoldsItsSecondReadingToTheFirst) {
  ImageSpec other = sample_new_image();
  other.version = 3;
  for (const bool changed : {false, true}) {
    FakePlatform platform;
    FakeFile file;
    file.owned = std::make_shared<const Bytes>(write_image(sample_old_image()));
    file.bytes = *file.owned;
    file.largest_read = 1000;  // many reads, each checked on its own
    if (changed) {
      Bytes edited = *file.owned;
      edited[edited.size() / 2] ^= 1;
      file.after_rewind = std::make_shared<const Bytes>(edited);
    }
    platform.add_file("image", file);
    EXPECT_EQ(run_dump(std::vector<std::filesystem::path>{"tarvel-dump", "image"}, platform),
              changed ? 2 : 0);
    EXPECT_EQ(platform.opened.size(), 1u) << "one handle for both readings";
    EXPECT_EQ(platform.error_output(),
              changed ? "tarvel-dump: image: changed while it was read\n" : "");
  }
}

#ifndef _WIN32
// Images from real pipes, a FIFO and process substitution, run through a shell, give what the
// same images give as files; tarvel itself still refuses a FIFO at once.
TEST(Companions, ImagesFromPipesAndFifos) {
  const TempDir dir;
  const std::string old_path = dir.write("old.img", write_image(sample_old_image()));
  const std::string new_path = dir.write("new.img", write_image(sample_new_image()));
  const RunResult as_files = run_program(TARVEL_DIFF_EXE, {old_path, new_path});
  ASSERT_EQ(as_files.status, 1) << as_files.errors;
  std::string dumped = run_program(TARVEL_DUMP_EXE, {old_path}).output;
  const std::string path_field = "\"path\":\"" + old_path + "\"";
  ASSERT_NE(dumped.find(path_field), std::string::npos);
  dumped.replace(dumped.find(path_field), path_field.size(), "\"path\":\"-\"");
  // Words in capitals stand for the programs and files; the temporary folder's name needs no
  // quoting.
  const std::pair<std::string, std::string> words[] = {
      {"OLD", old_path}, {"NEW", new_path}, {"FIFO", (dir.path() / "fifo").string()},
      {"DIFF", TARVEL_DIFF_EXE}, {"DUMP", TARVEL_DUMP_EXE}, {"TARVEL", TARVEL_EXE}};
  struct Case {
    const char* shell;
    std::string script;
    int status;
    std::string output;
    std::string errors;  // the start of standard error
  };
  const Case cases[] = {
      {"sh", "cat OLD | DIFF - NEW", 1, as_files.output, ""},
      {"sh", "cat NEW | DIFF OLD -", 1, as_files.output, ""},
      {"sh", "mkfifo FIFO && { cat NEW > FIFO & } && DIFF OLD FIFO", 1, as_files.output, ""},
      // The FIFO's writer starts after the reader opened it.
      {"sh", "mkfifo FIFO && { sleep 0.3 && cat OLD > FIFO & } && DIFF FIFO NEW", 1,
       as_files.output, ""},
      {"bash", "DIFF OLD <(cat NEW)", 1, as_files.output, ""},
      {"sh", "cat OLD | DIFF - -", 2, "",
       "tarvel-diff: standard input ('-') can be only one of the images\n"},
      {"sh", ": | DIFF - NEW", 2, "", "tarvel-diff: -: empty\n"},
      {"sh", "head -c 100 NEW | DIFF OLD -", 2, "", "tarvel-diff: -: malformed at byte offset"},
      // Read twice, through the temporary file, as a file is.
      {"sh", "cat OLD | DUMP -", 0, dumped, ""},
      {"sh", "DUMP - < OLD", 0, dumped, ""},
      {"sh", "DIFF -o OLD - NEW < OLD", 2, "", "tarvel-diff: " + old_path + ": is an input"},
      {"bash", "DUMP --verify <(cat OLD)", 0, "", ""},
      {"sh", ": | DUMP -", 1, "", "tarvel-dump: -: empty\n"},
      {"sh", "DUMP - < /dev/null", 2, "", "tarvel-dump: -: not a regular file\n"},
      {"sh", "mkfifo FIFO && TARVEL OLD FIFO | tail -n 1", 0, "Image 1: open error!\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const std::string shell = std::string("/bin/") + c.shell;
    if (!std::filesystem::exists(shell)) {
      continue;
    }
    std::filesystem::remove(dir.path() / "fifo");
    std::string script = c.script;
    for (const auto& [word, value] : words) {
      for (std::size_t at = script.find(word); at != std::string::npos;
           at = script.find(word, at + value.size())) {
        script.replace(at, word.size(), value);
      }
    }
    const RunResult run = run_program(shell, {"-c", script}, "C.UTF-8", StandardOutput::pipe_bytes);
    EXPECT_EQ(run.status, c.status) << run.errors;
    EXPECT_EQ(run.output, c.output);
    EXPECT_TRUE(run.errors.starts_with(c.errors)) << run.errors;
    if (c.errors.empty()) {
      EXPECT_EQ(run.errors, "");
    }
  }
}
#endif

// A comparison that runs out of memory says so in both programs, and no report is printed.
TEST(Companions, RunningOutOfMemoryWhileComparingIsSaid) {
  FakePlatform platform;
  platform.add_file("old", write_image(sample_old_image()));
  platform.add_file("new", write_image(sample_new_image()));
  platform.out_of_memory_when_comparing = true;
  EXPECT_EQ(run(std::vector<std::filesystem::path>{"tarvel", "old", "new"}, platform), 1);
  EXPECT_TRUE(platform.output().ends_with(
      "Loading NEW image: new\nError: not enough memory to compare the images\n"))
      << platform.output();
  const DiffRun run_diff_result = diff(platform, {"old", "new"});
  EXPECT_EQ(run_diff_result.status, 2);
  EXPECT_EQ(run_diff_result.errors, "tarvel-diff: not enough memory to compare the images\n");
}

// Real files: an output path that names an input through a link is refused before anything is
// written; a failed run leaves an existing output file as it was; a run that succeeds replaces
// it whole and leaves nothing else behind.
TEST(Companions, AnOutputFileNeverReplacesEvidence) {
  const TempDir dir;
  const std::string old_path = dir.write("old.img", write_image(sample_old_image()));
  const Bytes new_bytes = write_image(sample_new_image());
  const std::string new_path = dir.write("new.img", new_bytes);
  const std::string report = dir.write("report.jsonl", bytes_of("earlier report\n"));
  // Links that this system will not make (a symbolic link on Windows needs a privilege) are
  // left out.
  std::vector<const char*> names = {"new.img"};
  std::error_code error;
  std::filesystem::create_symlink(new_path, dir.path() / "link.img", error);
  if (!error) {
    names.push_back("link.img");
  }
  std::filesystem::create_hard_link(new_path, dir.path() / "hard.img", error);
  if (!error) {
    names.push_back("hard.img");
  }
  const auto contents = [](const std::filesystem::path& path) {
    const Bytes bytes = read_file(path.string());
    return std::string(bytes.begin(), bytes.end());
  };
  for (const char* name : names) {
    const std::string target = (dir.path() / name).string();
    const RunResult refused =
        run_program(TARVEL_DIFF_EXE, {"--format", "jsonl", "-o", target, old_path, new_path});
    EXPECT_EQ(refused.status, 2) << name;
    EXPECT_NE(refused.errors.find("is an input of this run"), std::string::npos) << refused.errors;
    EXPECT_EQ(contents(new_path), std::string(new_bytes.begin(), new_bytes.end())) << name;
  }
  const RunResult failed =
      run_program(TARVEL_DIFF_EXE, {"-o", report, old_path, (dir.path() / "gone.img").string()});
  EXPECT_EQ(failed.status, 2);
  EXPECT_EQ(contents(report), "earlier report\n");
  const RunResult replaced = run_program(TARVEL_DIFF_EXE, {"--format=jsonl", "-o", report, old_path, new_path});
  EXPECT_EQ(replaced.status, 1) << replaced.errors;
  EXPECT_EQ(replaced.errors, "");
  EXPECT_TRUE(contents(report).starts_with("{\"type\":\"header\"")) << contents(report);
  const std::filesystem::path unwritable = dir.path() / "no-such-folder" / "report.jsonl";
  const RunResult no_folder =
      run_program(TARVEL_DIFF_EXE, {"-o", unwritable.string(), old_path, new_path});
  EXPECT_EQ(no_folder.status, 2);
  EXPECT_NE(no_folder.errors.find("cannot create it: "), std::string::npos) << no_folder.errors;
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ++files;
  }
  EXPECT_EQ(files, 2 + names.size()) << "no temporary file is left behind";  // old, report, names
}

// A JSON Lines record and a CSV row of the same record say the same: every member but "type"
// has the cell of its name, holding its value in CSV's form; the members come in the order of
// the columns; no other cell holds anything.
void expect_same_record(const OrderedJson& record, const CsvRecord& columns, const CsvRecord& guarded) {
  const CsvRecord row = unguard_csv(guarded);
  ASSERT_EQ(row.size(), columns.size());
  std::size_t last_column = 0;
  std::set<std::size_t> used;
  for (const auto& [name, value] : record.items()) {
    if (name == "properties" || (name == "type" && columns[0] != "type")) {
      continue;
    }
    const auto at = std::find(columns.begin(), columns.end(), name);
    ASSERT_NE(at, columns.end()) << name << " has no column";
    const auto column = static_cast<std::size_t>(at - columns.begin());
    EXPECT_GE(column, last_column) << name << " comes out of the columns' order";
    last_column = column;
    used.insert(column);
    const std::string expected = value.is_string() ? value.get<std::string>()
                                 : value.is_null() ? std::string()
                                                   : value.dump();
    EXPECT_EQ(row[column], expected) << name << " in " << record.dump();
  }
  for (std::size_t column = 0; column < row.size(); ++column) {
    if (!used.contains(column)) {
      EXPECT_EQ(row[column], "") << columns[column] << " is only in CSV: " << record.dump();
    }
  }
}

// Both companions name and write every value the same in JSON Lines and in CSV.
TEST(Companions, JsonLinesAndCsvHoldTheSameRecords) {
  const auto [hostile_old, hostile_new] = hostile_pair();
  const Bytes old_bytes = write_image(hostile_old);
  const Bytes new_bytes = write_image(hostile_new);
  ImageSpec broken = hostile_old;
  broken.trailer_length = 0;
  broken.entries.back().properties_length = 0x7FFFFFFF;
  const auto outputs = [&](std::vector<std::filesystem::path> arguments, bool dump) {
    std::pair<std::string, std::string> out;
    for (const char* format : {"jsonl", "csv"}) {
      FakePlatform platform;
      platform.add_file("old", old_bytes);
      platform.add_file("new", new_bytes);
      platform.add_file("broken", write_image(broken));
      platform.add_file("sample", write_image(sample_new_image()));
      std::vector<std::filesystem::path> with_format = arguments;
      with_format.insert(with_format.begin() + 1, std::string("--format=") + format);
      dump ? run_dump(with_format, platform) : run_diff(with_format, platform);
      (format == std::string("jsonl") ? out.first : out.second) = platform.output();
    }
    return out;
  };
  struct Case {
    std::vector<std::filesystem::path> arguments;
    bool dump;
  };
  const Case cases[] = {
      {{"tarvel-diff", "--host", "web-1", "old", "new"}, false},
      {{"tarvel-diff", "new", "old"}, false},
      {{"tarvel-diff", "--summary", "--host", std::filesystem::path(u8"h\u00e9"), "old", "new"}, false},
      {{"tarvel-dump", "old"}, true},
      {{"tarvel-dump", "sample"}, true},
      {{"tarvel-dump", "broken"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back().string());
    const auto [jsonl, csv] = outputs(c.arguments, c.dump);
    json_lines(jsonl);  // parsed, and kept for the check against the schemas
    std::vector<OrderedJson> records;
    std::istringstream lines(jsonl);
    for (std::string line; std::getline(lines, line);) {
      records.push_back(OrderedJson::parse(line));  // members in the order they were written
    }
    std::vector<CsvRecord> rows;
    ASSERT_TRUE(read_csv(csv, rows));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front()["type"], "header");
    if (c.dump) {
      // CSV writes each property as a row of its own, before its entry's row.
      std::vector<OrderedJson> flat;
      for (const OrderedJson& record : records) {
        if (record.contains("properties")) {
          for (const OrderedJson& item : record["properties"]) {
            OrderedJson property = {{"type", "property"}, {"offset", record["offset"]}};
            property.update(item);
            flat.push_back(property);
          }
        }
        flat.push_back(record);
      }
      records = flat;
    } else if (c.arguments[1] == "--summary") {
      // The summary table, against the JSON summary's counts.
      const OrderedJson& summary = records.back();
      ASSERT_EQ(rows.size(), 1 + REPORT_LIST_COUNT + 1);
      for (std::size_t list = 0; list < REPORT_LIST_COUNT; ++list) {
        const ReportList& kind = REPORT_LISTS[list];
        const std::string section(kind.section_name());
        const std::string change(kind.change_name);
        EXPECT_EQ(csv_cell(rows, list + 1, "host"), "h\xC3\xA9");
        EXPECT_EQ(csv_cell(rows, list + 1, "section"), section);
        for (const char* count : {"count", "excluded", "known_good", "known_bad"}) {
          EXPECT_EQ(csv_cell(rows, list + 1, count), summary[count][section][change].dump());
        }
      }
      EXPECT_EQ(csv_cell(rows, rows.size() - 1, "section"), "total");
      EXPECT_EQ(csv_cell(rows, rows.size() - 1, "count"), summary["differences"].dump());
      EXPECT_EQ(summary["host"], "h\xC3\xA9");
      continue;
    } else {
      records.erase(records.begin());  // CSV has no header record, and no summary with items
      records.pop_back();
    }
    ASSERT_EQ(rows.size(), records.size() + 1);  // and the row of column names
    for (std::size_t at = 0; at < records.size(); ++at) {
      expect_same_record(records[at], rows[0], rows[at + 1]);
    }
  }
}

// The HTML page of a hostile pair holds no element that came from an image: every text is
// escaped, and reads as its JSON Lines value (ctest's html_page_in_chromium renders the pages
// kept here in a browser and reads each text back).
TEST(Companions, HtmlPageEscapesEveryImageText) {
  auto [old_image, new_image] = hostile_pair();
  new_image.entries.push_back(entry(u"C:\\<script>alert(1)</script>", u"\"q'&amp;.exe", 0x24));
  new_image.apps.push_back(app(u"{<b>}", u"</td></tr></table><img src=x onerror=alert(1)>"));
  new_image.hosts = bytes_of(std::string("10.0.0.9 <!-- <style>\n10.0.0.3 new\n\0", 36));
  FakePlatform platform;
  platform.add_file("old", write_image(old_image));
  platform.add_file("new", write_image(new_image));
  std::string outputs[2];
  for (const int at : {0, 1}) {
    FakePlatform run;
    run.files = platform.files;
    const DiffRun result = diff(run, {at == 0 ? "--format=html" : "--format=jsonl", "--host",
                                      "<i>h\"1</i>", "old", "new"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors, "");
    outputs[at] = result.output;
  }
  const std::string& page = outputs[0];
  for (const char* markup : {"<script", "<img", "<b>", "<i>", "<!--", "</table><"}) {
    EXPECT_EQ(page.find(markup), std::string::npos) << markup;
  }
  EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.find("&quot;q&#39;&amp;amp;.exe"), std::string::npos);
  EXPECT_NE(page.find("txt.<span class=\"esc\">\\u202e</span>exe"), std::string::npos);
  EXPECT_NE(page.find("<span class=\"hex\">exact: 007b006bd800007d</span>"), std::string::npos);
  // One text span for each text of the JSON Lines records: the host, both paths, each item's.
  std::size_t texts = 0;
  for (const Json& record : json_lines(outputs[1])) {
    for (const char* field : {"host", "path", "label", "key", "line", "sha1", "old_sha1",
                              "new_sha1"}) {
      // The page names the host once, in its facts.
      const bool host = field == std::string("host");
      const bool shown = record["type"] == "header" ? host : record["type"] == "change" && !host;
      if (shown && record.contains(field) && record[field].is_string()) {
        ++texts;
      }
    }
    if (record["type"] == "header") {
      texts += 2;  // the images' paths
    }
  }
  std::size_t spans = 0;
  for (std::size_t at = page.find("<span class=\"text\">"); at != std::string::npos;
       at = page.find("<span class=\"text\">", at + 1)) {
    ++spans;
  }
  EXPECT_EQ(spans, texts);
  keep_output("html", ".html", page);
  keep_output("html", ".jsonl", outputs[1]);
}

// examples/ keeps the page of the sample pair, as tarvel-diff writes it from the repository's top.
TEST(Companions, TheExamplePageIsTheSamplePairs) {
  FakePlatform platform;
  platform.add_file("samples/old.img", write_image(sample_old_image()));
  platform.add_file("samples/new.img", write_image(sample_new_image()));
  const DiffRun run = diff(platform, {"--format", "html", "--host", "sample", "samples/old.img",
                                      "samples/new.img"});
  EXPECT_EQ(run.status, 1);
  const Bytes kept = read_file(std::string(TARVEL_SAMPLES_DIR) + "/../examples/samples-report.html");
  EXPECT_EQ(run.output, std::string(kept.begin(), kept.end()))
      << "regenerate it: tarvel-diff --format html --host sample "
         "-o examples/samples-report.html samples/old.img samples/new.img";
}

// Hash sets: known-good values leave items out and are counted; known-bad ones mark every item
// that has one, in every format, and a known-bad value is never hidden by a known-good one.
TEST(Companions, KnownGoodAndKnownBadHashes) {
  const std::u16string good(40, u'a');
  const std::u16string bad(40, u'b');
  const std::u16string other(40, u'c');
  const auto with_sha1 = [](std::u16string_view name, std::u16string_view sha1,
                            std::uint32_t flags = 0x20) {
    EntrySpec spec = entry(u"C:\\T", name, flags);
    if (!sha1.empty()) {
      spec.properties = sha1_property(sha1);
    }
    return spec;
  };
  struct Case {
    std::u16string name;
    std::u16string old_sha1;  // empty: no entry in the old image
    std::u16string new_sha1;  // empty: no entry in the new image
    bool autorun;
    std::string list;       // "section.change" it is counted in
    std::string known_bad;  // "" none, "-" left out as known good
  };
  const std::u16string none;
  const Case cases[] = {
      {u"good-autorun.exe", none, u"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", true,
       "autorun.added", "-"},
      {u"bad-autorun.exe", none, bad, true, "autorun.added", "new"},
      // Digits of both cases: a value kept as text, still in the set.
      {u"mixed-case.exe", none, u"bBbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", true, "autorun.added",
       "new"},
      {u"gone-bad.exe", bad, none, true, "autorun.removed", "old"},
      {u"now-good.exe", other, good, false, "file.modified", "-"},
      {u"cured.exe", bad, good, false, "file.modified", "old"},
      {u"infected.exe", other, bad, false, "file.modified", "new"},
      {u"still-bad.exe", bad, u"BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBC", false, "file.modified",
       "old"},
      {u"both-bad.exe", bad, u"BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB", false, "file.modified",
       "both"},
      {u"lost-hash.exe", bad, u"x", false, "file.no_sha1", "old"},
  };
  ImageSpec old_image;
  ImageSpec new_image;
  for (const Case& c : cases) {
    const std::uint32_t flags = c.autorun ? 0x24 : 0x20;
    if (!c.old_sha1.empty()) {
      old_image.entries.push_back(with_sha1(c.name, c.old_sha1, flags));
    }
    if (!c.new_sha1.empty()) {
      new_image.entries.push_back(with_sha1(c.name, c.new_sha1 == u"x" ? none : c.new_sha1, flags));
    }
  }
  FakePlatform platform;
  platform.add_file("old", write_image(old_image));
  platform.add_file("new", write_image(new_image));
  platform.add_file("good.csv", bytes_of("\"SHA-1\",\"FileName\"\r\n\"" + std::string(40, 'A') +
                                         "\",\"x.exe\"\r\n"));
  platform.add_file("bad.txt", bytes_of("# known bad\n" + std::string(40, 'b') + "\n"));
  platform.add_file("more-bad.txt", bytes_of(std::string(40, 'B') + "\n"));
  const std::vector<std::filesystem::path> sets = {"--known-good=good.csv", "--known-bad",
                                                   "bad.txt", "--known-bad", "more-bad.txt"};
  const auto run = [&](std::vector<std::filesystem::path> arguments) {
    FakePlatform copy;
    copy.files = platform.files;
    arguments.insert(arguments.end(), sets.begin(), sets.end());
    arguments.insert(arguments.end(), {"old", "new"});
    const DiffRun result = diff(copy, arguments);
    EXPECT_EQ(result.errors, "");
    return result.output;
  };
  const std::vector<Json> lines = json_lines(run({"--format=jsonl"}));
  std::map<std::string, std::string> marks;
  for (const Json& line : lines) {
    if (line["type"] == "change" && line["section"] != "application") {
      const std::string path = line["path"];
      marks[path.substr(path.rfind('\\') + 1)] = line.value("known_bad", "");
    }
  }
  std::map<std::string, std::array<int, 3>> counts;  // list: known_good, known_bad, count
  for (const Case& c : cases) {
    const std::string name(c.name.begin(), c.name.end());
    std::array<int, 3>& list = counts[c.list];
    if (c.known_bad == "-") {
      EXPECT_FALSE(marks.contains(name)) << name << " is left out as known good";
      ++list[0];
    } else {
      EXPECT_EQ(marks[name], c.known_bad) << name;
      list[1] += c.known_bad.empty() ? 0 : 1;
      ++list[2];
    }
  }
  const Json& summary = lines.back();
  for (const auto& [list, expected] : counts) {
    const std::string section = list.substr(0, list.find('.'));
    const std::string change = list.substr(list.find('.') + 1);
    EXPECT_EQ(summary["known_good"][section][change], expected[0]) << list;
    EXPECT_EQ(summary["known_bad"][section][change], expected[1]) << list;
    EXPECT_EQ(summary["count"][section][change], expected[2]) << list;
  }
  const std::string text = run({});
  EXPECT_NE(text.find("C:\\T\\infected.exe [known bad]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("C:\\T\\gone-bad.exe [known bad]\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("now-good"), std::string::npos) << text;
  std::vector<CsvRecord> rows;
  ASSERT_TRUE(read_csv(run({"--format=csv"}), rows));
  for (std::size_t row = 1; row < rows.size(); ++row) {
    const std::string path = csv_cell(rows, row, "path");
    if (!path.empty()) {
      EXPECT_EQ(csv_cell(rows, row, "known_bad"), marks[path.substr(path.rfind('\\') + 1)]);
    }
  }
  const std::string page = run({"--format=html"});
  std::size_t marked_rows = 0;
  for (std::size_t at = page.find("<tr class=\"known-bad\">"); at != std::string::npos;
       at = page.find("<tr class=\"known-bad\">", at + 1)) {
    ++marked_rows;
  }
  EXPECT_EQ(marked_rows, static_cast<std::size_t>(summary["known_bad"]["total"].get<int>()));
  // A malformed set is trouble that names its line, before any image is read.
  FakePlatform broken;
  broken.files = platform.files;
  broken.add_file("bad.txt", bytes_of("# two lines\n" + std::string(39, 'b') + "\n"));
  const DiffRun refused = diff(broken, {"--known-bad", "bad.txt", "old", "new"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.errors.starts_with("tarvel-diff: bad.txt: line 2: ")) << refused.errors;
  EXPECT_EQ(refused.output, "");
}

}  // namespace
}  // namespace tarvel::testing
