// Hostile images: every truncation and a fixed set of damaged copies of the sample images run
// through the whole program, plus images that promise more than any file could hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "image/format.h"
#include "image/sha256.h"
#include "support/expected_output.h"
#include "testing/image_writer.h"
#include "testing/run_in_process.h"
#include "support/run_tarvel.h"

namespace tarvel::testing {
namespace {

constexpr std::uint32_t DIGEST_NOT_CHECKED = 0;
constexpr std::size_t HEADER_END = IMAGE_HEADER_END;
constexpr std::size_t BINARY_RUNS = 50;

std::uint32_t u32_at(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes.at(offset)) |
         (static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8) |
         (static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16) |
         (static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24);
}

// Ends a version 4 or 5 image with a trailer whose digest matches the bytes before it.
void append_trailer(Bytes& covered) {
  Sha256 sha;
  sha.update(covered);
  const Sha256Digest digest = sha.finish();
  const std::size_t length_at = covered.size();
  covered.resize(covered.size() + 4);
  put_u32(covered, length_at, DIGEST_LENGTH);
  covered.insert(covered.end(), digest.begin(), digest.end());
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A length or count field of an image, and where the run it measures must end.
struct LengthField {
  std::size_t offset;
  std::size_t region_end;
};

// Every length and count field of a well-formed version 4 or 5 image, found by walking it.
std::vector<LengthField> length_fields(const Bytes& image) {
  const std::uint16_t version = static_cast<std::uint16_t>(image.at(0) | (image.at(1) << 8));
  EXPECT_TRUE(version == 4 || version == 5) << "the walk knows the trailer layouts only";
  const std::size_t covered = image.size() - TRAILER_SIZE;
  std::vector<LengthField> fields;
  std::size_t at = HEADER_END;
  const auto prefixed = [&](std::size_t region_end) {
    fields.push_back({at, region_end});
    at += 4 + u32_at(image, at);
  };
  for (int block = 0; block < SKIPPED_BLOCKS + 1; ++block) {  // the skipped blocks, then hosts
    prefixed(covered);
  }
  fields.push_back({at, covered});
  const std::uint32_t app_count = u32_at(image, at);
  at += 4;
  for (std::uint32_t app = 0; app < app_count; ++app) {
    for (std::size_t text = 0; text < application_text_count(version); ++text) {
      prefixed(covered);
    }
  }
  fields.push_back({at, covered});
  const std::size_t section_end = at + 4 + u32_at(image, at);
  at += 4;
  const std::size_t fixed_size = record_layout(version).fixed_size;
  while (at < section_end) {
    at += fixed_size;
    for (int text = 0; text < 3; ++text) {  // name, directory, extra text
      prefixed(section_end);
    }
    fields.push_back({at, section_end});
    const std::size_t block_end = at + 4 + u32_at(image, at);
    at += 4;
    while (at < block_end) {
      prefixed(block_end);  // property name size
      prefixed(block_end);  // property value size
    }
  }
  fields.push_back({covered, image.size()});
  return fields;
}

enum class Digest { as_shipped, unchecked, recomputed };
enum class Damage { truncate, set_byte, set_u32 };

struct Sample {
  std::string name;
  Bytes bytes;
  bool is_new;  // damaged copies of the new image run against the intact old one
};

struct Case {
  const Sample* sample;
  Digest digest;
  Damage damage;
  std::size_t offset;  // truncate: the length kept
  std::uint32_t value;
};

const char* digest_name(Digest digest) {
  static const char* const NAMES[] = {"digest as shipped", "digest unchecked", "digest recomputed"};
  return NAMES[static_cast<int>(digest)];
}

const char* damage_name(Damage damage) {
  static const char* const NAMES[] = {"truncated", "byte changed", "length changed"};
  return NAMES[static_cast<int>(damage)];
}

std::string describe(const Case& c) {
  std::ostringstream out;
  out << c.sample->name << ", " << digest_name(c.digest) << ", ";
  switch (c.damage) {
    case Damage::truncate:
      out << "cut to " << c.offset << " bytes";
      break;
    case Damage::set_byte:
      out << "byte " << c.offset << " set to 0x" << std::hex << c.value;
      break;
    case Damage::set_u32:
      out << "u32 at " << c.offset << " set to 0x" << std::hex << c.value;
      break;
  }
  return out.str();
}

Bytes build(const Case& c) {
  Bytes bytes = c.sample->bytes;
  const std::size_t covered = bytes.size() - TRAILER_SIZE;
  if (c.digest == Digest::unchecked) {
    put_u32(bytes, covered, DIGEST_NOT_CHECKED);
  }
  // The samples' own digests are right, so damage to the trailer needs no recompute.
  const bool recompute =
      c.digest == Digest::recomputed && (c.damage == Damage::truncate || c.offset < covered);
  if (recompute) {
    bytes.resize(covered);
  }
  switch (c.damage) {
    case Damage::truncate:
      bytes.resize(c.offset);
      break;
    case Damage::set_byte:
      bytes.at(c.offset) = static_cast<std::uint8_t>(c.value);
      break;
    case Damage::set_u32:
      put_u32(bytes, c.offset, c.value);
      break;
  }
  if (recompute) {
    append_trailer(bytes);
  }
  return bytes;
}

// The byte values each offset is set to: its own value with the low or high bit flipped, and
// the two extremes.
std::vector<std::uint32_t> byte_values(std::uint8_t original, Digest digest) {
  if (digest == Digest::as_shipped) {
    return {static_cast<std::uint8_t>(original ^ 0x01)};
  }
  std::vector<std::uint32_t> values;
  for (const std::uint32_t value : {original ^ 0x01u, original ^ 0x80u, 0x00u, 0xFFu}) {
    if (value != original && std::find(values.begin(), values.end(), value) == values.end()) {
      values.push_back(value);
    }
  }
  return values;
}

std::vector<std::uint32_t> length_values(const LengthField& field, std::size_t file_size) {
  const std::size_t run_start = field.offset + 4;
  const std::uint32_t candidates[] = {
      0,
      1,
      static_cast<std::uint32_t>(field.region_end - run_start),      // exactly to the end
      static_cast<std::uint32_t>(field.region_end - run_start + 1),  // just past the end
      static_cast<std::uint32_t>(file_size - run_start + 1),         // just past the file
      0x7FFFFFFF,
      0xFFFFFFFF};
  std::vector<std::uint32_t> values;
  for (const std::uint32_t value : candidates) {
    if (std::find(values.begin(), values.end(), value) == values.end()) {
      values.push_back(value);
    }
  }
  return values;
}

std::vector<Case> sweep_cases(const std::vector<Sample>& samples) {
  std::vector<Case> cases;
  for (const Sample& sample : samples) {
    const std::size_t size = sample.bytes.size();
    const std::size_t covered = size - TRAILER_SIZE;
    for (std::size_t kept = 0; kept < size; ++kept) {
      cases.push_back({&sample, Digest::as_shipped, Damage::truncate, kept, 0});
    }
    for (std::size_t kept = 0; kept < covered; ++kept) {
      cases.push_back({&sample, Digest::recomputed, Damage::truncate, kept, 0});
    }
    for (const Digest digest : {Digest::as_shipped, Digest::unchecked, Digest::recomputed}) {
      // A recomputed digest would overwrite damage to the trailer, so only the covered bytes.
      const std::size_t end = digest == Digest::recomputed ? covered : size;
      for (std::size_t offset = 0; offset < end; ++offset) {
        for (const std::uint32_t value : byte_values(sample.bytes[offset], digest)) {
          cases.push_back({&sample, digest, Damage::set_byte, offset, value});
        }
      }
    }
    const std::vector<LengthField> fields = length_fields(sample.bytes);
    for (const Digest digest : {Digest::unchecked, Digest::recomputed}) {
      for (const LengthField& field : fields) {
        for (const std::uint32_t value : length_values(field, size)) {
          cases.push_back({&sample, digest, Damage::set_u32, field.offset, value});
        }
      }
    }
  }
  return cases;
}

// A parse error either comes alone or after the loader's version message, which also stands
// for a digest that does not match.
enum class Outcome { report, parse_error, version_error, open_error };

bool consume(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) {
    return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

std::optional<std::string_view> take_line(std::string_view& text) {
  const std::size_t end = text.find('\n');
  if (end == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end + 1);
  return line;
}

bool has_control_characters(std::string_view line) {
  return std::any_of(line.begin(), line.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7F;
  });
}

// Sections in the fixed order, each with at least one line and a total that counts its lines;
// no line carries a control character that could forge or hide another.
bool is_well_formed_report(std::string_view text) {
  static const std::string_view HEADINGS[] = {
      "Autorun: New",          "Applications: New", "Hosts: New", "Autorun: Removed",
      "Applications: Removed", "Hosts: Removed",    "Modified:",  "No SHA1:",
      "Changed status:"};
  std::size_t next_heading = 0;
  while (!text.empty()) {
    const std::optional<std::string_view> heading = take_line(text);
    if (!heading) {
      return false;
    }
    while (next_heading < std::size(HEADINGS) && HEADINGS[next_heading] != *heading) {
      ++next_heading;
    }
    if (next_heading++ == std::size(HEADINGS)) {
      return false;
    }
    std::size_t members = 0;
    while (true) {
      std::optional<std::string_view> line = take_line(text);
      if (!line || has_control_characters(*line)) {
        return false;
      }
      if (consume(*line, "Total:") && !line->empty() &&
          line->find_first_not_of("0123456789") == std::string_view::npos) {
        if (*line != std::to_string(members) || members == 0 || !consume(text, "\n")) {
          return false;
        }
        break;
      }
      ++members;
    }
  }
  return true;
}

// What a run printed, when it is one of the outputs the program may give for this damage.
std::optional<Outcome> classify(const std::string& output, const std::string& old_path,
                                const std::string& new_path, bool new_damaged) {
  std::string_view rest = output;
  if (!consume(rest, BANNER + loading_old(old_path))) {
    return std::nullopt;
  }
  if (new_damaged && !consume(rest, loading_new(new_path))) {
    return std::nullopt;
  }
  if (rest == OPEN_ERROR) {
    return Outcome::open_error;
  }
  if (rest == PARSE_ERROR) {
    return Outcome::parse_error;
  }
  if (rest == VERSION_ERROR + PARSE_ERROR) {
    return Outcome::version_error;
  }
  if (!new_damaged && !consume(rest, loading_new(new_path))) {
    return std::nullopt;
  }
  if (!consume(rest, "\n") || !is_well_formed_report(rest)) {
    return std::nullopt;
  }
  return Outcome::report;
}

struct CaseRun {
  InProcessRun run;
  std::optional<Outcome> outcome;
};

CaseRun run_case(const Case& c, const Bytes& damaged, const Sample& other,
                 const std::string& old_path, const std::string& new_path) {
  const ImageFile old_file{old_path, c.sample->is_new ? other.bytes : damaged};
  const ImageFile new_file{new_path, c.sample->is_new ? damaged : other.bytes};
  CaseRun result;
  result.run = run_in_process(old_file, new_file, utf8_case_folding());
  result.outcome = classify(result.run.output, old_path, new_path, c.sample->is_new);
  return result;
}

class CorruptedFileSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string folder = TARVEL_SAMPLES_DIR;
    samples_ = new std::vector<Sample>{{"old.img", read_file(folder + "/old.img"), false},
                                       {"new.img", read_file(folder + "/new.img"), true}};
    cases_ = new std::vector<Case>(sweep_cases(*samples_));
  }
  static void TearDownTestSuite() {
    delete cases_;
    delete samples_;
  }

  const Sample& other_than(const Sample& sample) const {
    return sample.is_new ? (*samples_)[0] : (*samples_)[1];
  }

  static std::vector<Sample>* samples_;
  static std::vector<Case>* cases_;
};

std::vector<Sample>* CorruptedFileSweep::samples_ = nullptr;
std::vector<Case>* CorruptedFileSweep::cases_ = nullptr;

TEST_F(CorruptedFileSweep, EveryDamagedSampleGivesAReportOrTheFailureLines) {
  const std::string old_path = "old.img";
  const std::string new_path = "new.img";
  struct Split {
    std::size_t counts[4] = {};
    std::size_t of(Outcome outcome) const { return counts[static_cast<int>(outcome)]; }
    std::string text() const {
      return std::to_string(of(Outcome::report)) + " / " +
             std::to_string(of(Outcome::parse_error) + of(Outcome::version_error)) + " (" +
             std::to_string(of(Outcome::version_error)) + ") / " +
             std::to_string(of(Outcome::open_error));
    }
  };
  std::map<std::string, Split> by_group;
  Split total;
  std::size_t failures = 0;

  // Four skipped blocks and hosts, the application count and five texts per application, the
  // section length, four lengths per record and two per property item, the trailer's length:
  // the walk must find them all, or the length damage misses some.
  const std::size_t expected_fields[] = {5 + 1 + 2 * 5 + 1 + 6 * 4 + 5 * 2 * 2 + 1,
                                         5 + 1 + 2 * 5 + 1 + 6 * 4 + 4 * 2 * 2 + 1};
  for (std::size_t i = 0; i < samples_->size(); ++i) {
    const Bytes& image = (*samples_)[i].bytes;
    const std::vector<LengthField> fields = length_fields(image);
    ASSERT_EQ(fields.size(), expected_fields[i]) << (*samples_)[i].name;
    ASSERT_EQ(u32_at(image, fields.back().offset), DIGEST_LENGTH);
  }

  const auto start = std::chrono::steady_clock::now();

  for (const Case& c : *cases_) {
    const CaseRun result = run_case(c, build(c), other_than(*c.sample), old_path, new_path);
    const int status = result.outcome == Outcome::report ? STATUS_REPORT : STATUS_NO_REPORT;
    if (result.run.status != status || !result.outcome) {
      if (++failures <= 10) {
        ADD_FAILURE() << describe(c) << ": status " << result.run.status << ", output:\n"
                      << result.run.output;
      }
      continue;
    }
    const auto outcome = static_cast<std::size_t>(*result.outcome);
    ++total.counts[outcome];
    const std::string group = std::string(damage_name(c.damage)) + ", " + digest_name(c.digest);
    ++by_group[group].counts[outcome];
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  EXPECT_EQ(failures, 0u);

  std::cout << "[ sweep    ] " << cases_->size() << " runs in " << elapsed.count()
            << " ms: report / parse error (of them with the version message) / open error\n";
  for (const auto& [group, split] : by_group) {
    std::cout << "[ sweep    ]   " << group << ": " << split.text() << "\n";
  }
  std::cout << "[ sweep    ]   all: " << total.text() << "\n";
  RecordProperty("cases", static_cast<int>(cases_->size()));
  RecordProperty("reports", static_cast<int>(total.of(Outcome::report)));
  RecordProperty("parse_errors", static_cast<int>(total.of(Outcome::parse_error) +
                                                  total.of(Outcome::version_error)));
  RecordProperty("version_messages", static_cast<int>(total.of(Outcome::version_error)));
  RecordProperty("open_errors", static_cast<int>(total.of(Outcome::open_error)));

  // The sweep is only worth its time if damage gets past the digest and into the records.
  EXPECT_GT(total.of(Outcome::report), cases_->size() / 4);
  EXPECT_GT(total.of(Outcome::parse_error), cases_->size() / 4);
  EXPECT_EQ(total.of(Outcome::open_error), 2u) << "only the empty files";
}

TEST_F(CorruptedFileSweep, TheBinaryPrintsWhatTheInProcessRunPrints) {
  const TempDir dir;
  const std::string old_path = (dir.path() / "old.img").string();
  const std::string new_path = (dir.path() / "new.img").string();
  const std::size_t stride = cases_->size() / BINARY_RUNS;
  for (std::size_t index = stride / 2; index < cases_->size(); index += stride) {
    const Case& c = (*cases_)[index];
    SCOPED_TRACE(describe(c));
    const Bytes damaged = build(c);
    const Sample& other = other_than(*c.sample);
    dir.write("old.img", c.sample->is_new ? other.bytes : damaged);
    dir.write("new.img", c.sample->is_new ? damaged : other.bytes);
    const CaseRun expected = run_case(c, damaged, other, old_path, new_path);
    ASSERT_TRUE(expected.outcome) << expected.run.output;

    const RunResult result = run_tarvel({old_path, new_path});
    EXPECT_EQ(result.status, expected.run.status);
    EXPECT_EQ(result.output, expected.run.output);
    EXPECT_EQ(result.errors, "");
  }
}

// Counts and lengths that promise billions of records or bytes are refused as soon as the bytes
// run out: nothing is reserved for what the file does not hold.
TEST(HostileImages, HugeCountsAndLengthsFailFast) {
  const auto image_with = [](std::uint16_t version, auto change) {
    ImageSpec spec;
    spec.version = version;
    spec.trailer_length = DIGEST_NOT_CHECKED;
    spec.apps = {app(u"{k}", u"App")};
    spec.entries = {entry(u"C:\\dir", u"file.exe", 0x20)};
    spec.entries[0].properties = sha1_property(u"0123456789012345678901234567890123456789");
    change(spec);
    return write_image(spec);
  };
  // With every skipped block and the hosts block empty, the hosts length sits right after the
  // four skipped lengths.
  constexpr std::size_t HOSTS_LENGTH_AT = HEADER_END + SKIPPED_BLOCKS * 4;
  struct HugeCase {
    std::string what;
    Bytes image;
  };
  std::vector<HugeCase> cases;
  for (const std::uint32_t huge : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    const std::string value = std::to_string(huge);
    for (std::uint16_t version = 2; version <= 5; ++version) {
      cases.push_back({"application count " + value + ", version " + std::to_string(version),
                       image_with(version, [&](ImageSpec& s) { s.app_count = huge; })});
    }
    for (std::uint16_t version = 1; version <= 5; ++version) {
      const std::string in = ", version " + std::to_string(version);
      cases.push_back({"name length " + value + in, image_with(version, [&](ImageSpec& s) {
                         s.entries[0].name_length = huge;
                       })});
      cases.push_back({"property length " + value + in, image_with(version, [&](ImageSpec& s) {
                         s.entries[0].properties_length = huge;
                       })});
      Bytes skipped = image_with(version, [](ImageSpec&) {});
      put_u32(skipped, HEADER_END, huge);
      cases.push_back({"skipped block length " + value + in, skipped});
    }
    cases.push_back(
        {"section length " + value, image_with(5, [&](ImageSpec& s) { s.section_length = huge; })});
    Bytes hosts = image_with(5, [](ImageSpec& s) { s.hosts = {}; });
    put_u32(hosts, HOSTS_LENGTH_AT, huge);
    cases.push_back({"hosts length " + value, hosts});
  }

  const Bytes good = image_with(5, [](ImageSpec&) {});
  const CaseFolding& folding = utf8_case_folding();  // built before the clock starts
  const auto start = std::chrono::steady_clock::now();
  for (const HugeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const InProcessRun old_damaged =
        run_in_process({"old.img", c.image}, {"new.img", good}, folding);
    EXPECT_EQ(old_damaged.output, BANNER + loading_old("old.img") + PARSE_ERROR);
    const InProcessRun new_damaged =
        run_in_process({"old.img", good}, {"new.img", c.image}, folding);
    EXPECT_EQ(new_damaged.output,
              BANNER + loading_old("old.img") + loading_new("new.img") + PARSE_ERROR);
  }
  // A loop over the promised count, or memory touched for it, would take far longer; the bound
  // leaves room for Valgrind.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// Inputs the fuzz targets once failed on, as images; the sanitizer builds catch a relapse.
TEST(HostileImages, FuzzerFindingsStayFixed) {
  struct Finding {
    const char* what;
    Bytes image;
  };
  ImageSpec empty_texts;  // no text storage at all: a null copy target, even for 0 bytes
  empty_texts.version = 3;
  empty_texts.entries = {entry(u"", u"")};
  const Finding findings[] = {
      {"only entry with empty name, directory and extra text", write_image(empty_texts)},
  };
  for (const Finding& finding : findings) {
    SCOPED_TRACE(finding.what);
    const InProcessRun run =
        run_in_process({"old.img", finding.image}, {"new.img", finding.image}, utf8_case_folding());
    EXPECT_EQ(run.status, STATUS_REPORT);
    EXPECT_EQ(run.output, before_report("old.img", "new.img"));
  }
}

TEST(HostileImages, FilesOfFourGibibytesAreRefusedUnread) {
  const TempDir dir;
  const std::string good = dir.write("good.img", write_image(ImageSpec{}));
  const std::string huge = dir.write("huge.img", {});
  std::error_code error;
  std::filesystem::resize_file(huge, std::uintmax_t{1} << 32, error);  // sparse: no disk space
  if (error) {
    GTEST_SKIP() << "cannot make a sparse file here: " << error.message();
  }
  const RunResult as_old = run_tarvel({huge, good});
  EXPECT_EQ(as_old.status, STATUS_NO_REPORT);
  EXPECT_EQ(as_old.output, BANNER + loading_old(huge) + OPEN_ERROR);
  const RunResult as_new = run_tarvel({good, huge});
  EXPECT_EQ(as_new.status, STATUS_NO_REPORT);
  EXPECT_EQ(as_new.output, BANNER + loading_old(good) + loading_new(huge) + OPEN_ERROR);
}

}  // namespace
}  // namespace tarvel::testing
