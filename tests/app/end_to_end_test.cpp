// Runs the built program on image files and compares everything it prints.
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <fstream>
#include <sstream>

#include "support/expected_output.h"
#include "testing/image_writer.h"
#include "support/run_tarvel.h"
#include "testing/sample_images.h"

namespace tarvel::testing {
namespace {

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void expect_run(const std::vector<std::string>& arguments, const std::string& expected,
                int status) {
  const RunResult result = run_tarvel(arguments);
  EXPECT_EQ(result.status, status);
  EXPECT_EQ(result.output, expected);
  EXPECT_EQ(result.errors, "");
}

ImageSpec small_image(std::uint16_t version) {
  ImageSpec spec;
  spec.version = version;
  spec.hosts = bytes_of(std::string("127.0.0.1 localhost\n", 21));
  spec.apps = {app(u"{k}", u"Some App")};
  spec.entries = {entry(u"C:\\Windows", u"notepad.exe", 0x20)};
  spec.entries[0].properties = sha1_property(u"0123456789012345678901234567890123456789");
  return spec;
}

TEST(EndToEnd, WrongArgumentCountPrintsTheSyntax) {
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{}, {"only-one"}, {"one", "two", "three"}}) {
    expect_run(arguments, BANNER + SYNTAX, STATUS_NO_REPORT);
  }
}

TEST(EndToEnd, FilesThatCannotBeReadWhole) {
  const TempDir dir;
  const std::string good = dir.write("good.img", write_image(small_image(5)));
  const std::string empty = dir.write("empty.img", {});
  const std::string missing = (dir.path() / "missing.img").string();
  const std::string directory = dir.path().string();

  for (const std::string& bad : {missing, empty, directory}) {
    SCOPED_TRACE(bad);
    expect_run({bad, good}, BANNER + loading_old(bad) + OPEN_ERROR, STATUS_NO_REPORT);
    expect_run({good, bad}, BANNER + loading_old(good) + loading_new(bad) + OPEN_ERROR,
               STATUS_NO_REPORT);
  }
}

TEST(EndToEnd, ImagesThatDoNotParse) {
  const TempDir dir;
  const std::string good = dir.write("good.img", write_image(small_image(4)));

  Bytes bad_version = write_image(small_image(3));
  bad_version[0] = 6;
  Bytes short_v4(38, 0);
  short_v4[0] = 4;
  ImageSpec wrong_digest = small_image(4);
  wrong_digest.corrupt_digest = true;
  ImageSpec long_property = small_image(2);
  long_property.entries[0].properties_length = 1000;
  ImageSpec lowered_to_three = small_image(4);
  Bytes lowered = write_image(lowered_to_three);
  lowered[0] = 3;

  struct Case {
    const char* what;
    Bytes image;
    std::string message;
  };
  const Case cases[] = {
      {"version 6", bad_version, VERSION_ERROR},
      {"38-byte version 4", short_v4, VERSION_ERROR},
      {"wrong digest", write_image(wrong_digest), VERSION_ERROR},
      {"property block past the end", write_image(long_property), ""},
      {"version 4 read as version 3", lowered, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bad = dir.write("bad.img", c.image);
    expect_run({bad, good}, BANNER + loading_old(bad) + c.message + PARSE_ERROR, STATUS_NO_REPORT);
    expect_run({good, bad}, BANNER + loading_old(good) + loading_new(bad) + c.message + PARSE_ERROR,
               STATUS_NO_REPORT);
  }
}

TEST(EndToEnd, LeftOverBytesAfterTheLastRecord) {
  const TempDir dir;
  for (const int version : {1, 2, 3}) {
    ImageSpec spec = small_image(static_cast<std::uint16_t>(version));
    const std::string good = dir.write("good.img", write_image(spec));
    expect_run({good, good}, before_report(good, good), STATUS_REPORT);
    for (std::size_t extra = 1; extra <= 105; ++extra) {
      spec.entry_tail = Bytes(extra, 0x41);
      const std::string bad = dir.write("bad.img", write_image(spec));
      const RunResult result = run_tarvel({good, bad});
      ASSERT_EQ(result.output, BANNER + loading_old(good) + loading_new(bad) + PARSE_ERROR)
          << "version " << version << ", " << extra << " bytes";
    }
  }
}

TEST(EndToEnd, EveryVersionLoadsAndTrailersWithoutDigestAreAccepted) {
  const TempDir dir;
  for (std::uint16_t version = 1; version <= 5; ++version) {
    const std::string path =
        dir.write("v" + std::to_string(version) + ".img", write_image(small_image(version)));
    expect_run({path, path}, before_report(path, path), STATUS_REPORT);
  }
  for (std::uint32_t length : {31u, 33u}) {
    ImageSpec spec = small_image(4);
    spec.trailer_length = length;
    spec.corrupt_digest = true;
    const std::string path = dir.write("trailer.img", write_image(spec));
    expect_run({path, path}, before_report(path, path), STATUS_REPORT);
  }
}

TEST(EndToEnd, PathsArePrintedAndOpenedAsGiven) {
  const TempDir dir;
  // Not valid UTF-8: printed as its bytes, and still opened.
  const std::string odd = dir.write("caf\xE9 image.img", write_image(small_image(5)));
  expect_run({odd, odd}, before_report(odd, odd), STATUS_REPORT);
}

// Output that cannot be delivered whole ends the run with status 1 instead of a silently short
// report; output that a slow reader takes late arrives whole.
TEST(EndToEnd, StandardOutputThatFailsOrMustWait) {
  const TempDir dir;
  ImageSpec many;
  for (int i = 0; i < 3000; ++i) {
    const std::string number = std::to_string(i);
    std::u16string name(number.begin(), number.end());
    name += std::u16string(100, u'x');
    many.entries.push_back(entry(u"C:\\Run", name, 0x4));
  }
  const std::string old_path = dir.write("old.img", write_image(ImageSpec{}));
  const std::string new_path = dir.write("new.img", write_image(many));
  const RunResult reference = run_tarvel({old_path, new_path});
  ASSERT_EQ(reference.status, STATUS_REPORT);
  ASSERT_GT(reference.output.size(), std::size_t{4} << 16) << "more than a pipe holds";

  struct Case {
    const char* what;
    StandardOutput output;
    int status;
  };
  const Case cases[] = {
      {"closed pipe", StandardOutput::closed_pipe, STATUS_NO_REPORT},
#ifndef _WIN32
      {"full disk", StandardOutput::full_device, STATUS_NO_REPORT},
      {"non-blocking pipe, slow reader", StandardOutput::slow_non_blocking_pipe, STATUS_REPORT},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult result = run_tarvel({old_path, new_path}, "C.UTF-8", c.output);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.errors, "");
    if (c.status == STATUS_REPORT) {
      // Sizes first: a short report is told by its length, not by a dump of 300 KB.
      EXPECT_EQ(result.output.size(), reference.output.size());
      EXPECT_TRUE(result.output == reference.output);
    }
  }
}

#ifdef _WIN32
// Paths longer than 260 characters open only for a program whose manifest says it can take them.
TEST(EndToEnd, TheProgramDeclaresItselfLongPathAware) {
  const std::wstring program = std::filesystem::path(TARVEL_EXE).make_preferred().native();
  const HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  std::string manifest;
  if (found != nullptr) {
    const auto* text = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    manifest.assign(text, ::SizeofResource(module, found));
  }
  ::FreeLibrary(module);
  EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                          "WindowsSettings\">true</longPathAware>"),
            std::string::npos)
      << manifest;
}
#endif

TEST(EndToEnd, SampleImagesAreUpToDateAndGiveTheDocumentedReport) {
  const std::string samples = TARVEL_SAMPLES_DIR;
  const std::string old_path = samples + "/old.img";
  const std::string new_path = samples + "/new.img";
  const Bytes old_bytes = write_image(sample_old_image());
  const Bytes new_bytes = write_image(sample_new_image());
  EXPECT_EQ(read_text(old_path), std::string(old_bytes.begin(), old_bytes.end()))
      << "regenerate samples/ with make_samples";
  EXPECT_EQ(read_text(new_path), std::string(new_bytes.begin(), new_bytes.end()));

  const RunResult result = run_tarvel({old_path, new_path});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, before_report(old_path, new_path) + read_text(samples + "/report.txt"));
}

}  // namespace
}  // namespace tarvel::testing
