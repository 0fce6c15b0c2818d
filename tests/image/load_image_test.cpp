// Loading images: every version, every refusal, and the windows against a whole-file read.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

#include "image/load_image.h"
#include "image/loaded_image.h"
#include "image/table_sink.h"
#include "image/stored_text.h"
#include "platform/input_file.h"
#include "support/run_tarvel.h"
#include "testing/fake_platform.h"
#include "testing/image_writer.h"
#include "testing/recording_sink.h"

namespace tarvel {
namespace {

using testing::Bytes;
using testing::entry;
using testing::ImageSpec;
using testing::utf16le;
using testing::write_image;

// How the loader reads a file: threads, window size, the largest piece one read delivers, and
// the offset from which another core is free to take over reading and hashing.
struct ReadMode {
  bool threaded;
  std::size_t window;
  std::size_t largest_read;
  std::size_t core_freed_at = SIZE_MAX;
  bool viewable = false;  // the file offers views, which inline reading takes
};

constexpr ReadMode USUAL{true, WindowBuffers::DEFAULT_WINDOW, SIZE_MAX};

struct Parsed {
  LoadResult result;
  bool ok = false;
  std::string messages;  // what the program prints of the loader's outcome
  testing::RecordingSink record;
  std::unique_ptr<LoadedImage> image = std::make_unique<LoadedImage>();
};

LoadResult load_with(const Bytes& bytes, RecordSink& sink, ReadMode mode) {
  testing::FakeFile file;
  file.bytes = bytes;
  file.largest_read = mode.largest_read;
  file.viewable = mode.viewable;
  std::atomic<bool> core_freed = false;
  std::atomic<bool> read_elsewhere = false;
  const std::thread::id caller = std::this_thread::get_id();
  file.on_read = [&](std::size_t at) {
    core_freed = core_freed || at >= mode.core_freed_at;
    read_elsewhere = read_elsewhere || std::this_thread::get_id() != caller;
  };
  const OpenedFile opened = testing::open_fake_file(file);
  if (!opened.file) {
    LoadResult refused;
    refused.read_failure = read_failure_of(opened.failure);
    return refused;
  }
  WindowBuffers windows(mode.window, WindowBuffers::DEFAULT_COUNT, 0);
  const LoadResult result =
      ImageLoader(windows, {.threaded = mode.threaded, .core_freed = &core_freed})
          .load(*opened.file, sink);
  if (!mode.threaded && mode.core_freed_at < bytes.size() / 2) {
    EXPECT_TRUE(read_elsewhere) << "a freed core never took the reading over";
  }
  return result;
}

Parsed parse(const Bytes& bytes, ReadMode mode = USUAL) {
  Parsed parsed;
  parsed.result = load_with(bytes, parsed.record, mode);
  TableSink tables(*parsed.image);
  EXPECT_EQ(load_with(bytes, tables, mode).outcome, parsed.result.outcome);
  parsed.ok = parsed.result.ok();
  const bool refused_version = parsed.result.outcome == LoadOutcome::version_refused ||
                               parsed.result.outcome == LoadOutcome::digest_refused;
  parsed.messages = refused_version ? "Error: Incorrect version of image file\n" : "";
  return parsed;
}

std::u16string units(const Bytes& bytes) {
  std::array<char16_t, DIRECTORY_FIELD_UNITS> out{};
  return std::u16string(out.data(), decode_field_text(bytes, out));
}

constexpr std::string_view VERSION_MESSAGE = "Error: Incorrect version of image file\n";

testing::EntrySpec full_entry() {
  testing::EntrySpec spec = entry(u"C:\\dir", u"file.exe");
  spec.lead_value = 0x1122334455667788ULL;
  spec.byte_a = 0xA1;
  spec.dword_a = 0xD0A0D0A0;
  spec.dword_b = 0xD0B0D0B0;
  for (std::size_t i = 0; i < spec.block_a.size(); ++i) {
    spec.block_a[i] = static_cast<std::uint8_t>(i + 1);
  }
  spec.flags_a = 0xA0000001;
  spec.flags_b = 0xB0000002;
  spec.flags_c = 0xC0000003;
  spec.flags_d = 0xD0000004;
  spec.byte_b = 0xB1;
  spec.word_a = 0x7A7B;
  spec.byte_c = 0xC1;
  spec.extra_text = utf16le(u"extra", false);
  spec.properties = testing::concat({testing::property_item(utf16le(u"Size"), {1, 2, 3}),
                                     testing::sha1_property(std::u16string(40, u'a'))});
  return spec;
}

TEST(ParseImage, EveryVersionLoadsEveryField) {
  for (std::uint16_t version = 1; version <= 5; ++version) {
    SCOPED_TRACE(version);
    ImageSpec spec;
    spec.version = version;
    spec.header[0] = 0x5A;
    spec.header[283] = 0xA5;
    spec.skipped = {Bytes{1}, Bytes{}, Bytes{2, 3}, Bytes(300, 4)};
    spec.hosts = testing::bytes_of(std::string("127.0.0.1 a\n\0junk", 18));
    spec.apps = {testing::app(u"key-1", u"Label One"), testing::app(u"key-2", u"Label Two")};
    spec.entries = {full_entry(), entry(u"", u"second")};
    Parsed parsed = parse(write_image(spec));
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.messages, "");
    const testing::RecordingSink& image = parsed.record;
    EXPECT_EQ(image.version, version);
    EXPECT_EQ(image.image_header[0], 0x5A);
    EXPECT_EQ(image.image_header[283], 0xA5);
    EXPECT_EQ(image.hosts, testing::bytes_of(std::string("127.0.0.1 a\n\0junk", 18)));
    EXPECT_EQ(parsed.image->hosts, "127.0.0.1 a\n") << "readers stop at the first NUL";
    if (version == 1) {
      EXPECT_TRUE(image.apps.empty());
    } else {
      ASSERT_EQ(image.apps.size(), 2u);
      EXPECT_EQ(image.apps[1][0], utf16le(u"key-2"));
      EXPECT_EQ(image.apps[1][1], utf16le(u"text 2"));
      EXPECT_EQ(image.apps[1][2], utf16le(u"Label Two"));
      EXPECT_EQ(image.apps[1][3], utf16le(u"text 4"));
      EXPECT_EQ(image.apps[1].size(), version >= 3 ? 5u : 4u);
      const AppList& apps = parsed.image->apps;
      ASSERT_EQ(apps.size(), 2u);
      EXPECT_EQ(apps.key(apps[1]), u"key-2");
      EXPECT_EQ(apps.label(apps[1]), u"Label Two");
    }
    ASSERT_EQ(image.entries.size(), 2u);
    const EntryFields& record = image.entries[0].fields;
    EXPECT_EQ(record.lead_value, version == 5 ? 0x1122334455667788ULL : 0x55667788ULL);
    EXPECT_EQ(record.byte_a, 0xA1);
    EXPECT_EQ(record.dword_a, 0xD0A0D0A0u);
    EXPECT_EQ(record.dword_b, 0xD0B0D0B0u);
    EXPECT_EQ(image.entries[0].block_a[0], 1);
    EXPECT_EQ(image.entries[0].block_a[63], 64);
    EXPECT_EQ(record.flags_a, 0xA0000001u);
    EXPECT_EQ(record.flags_b, version >= 3 ? 0xB0000002u : 0u);
    EXPECT_EQ(record.flags_c, 0xC0000003u);
    EXPECT_EQ(record.flags_d, version >= 3 ? 0xD0000004u : 0u);
    EXPECT_EQ(record.byte_b, 0xB1);
    EXPECT_EQ(record.word_a, 0x7A7B);
    EXPECT_EQ(record.byte_c, 0xC1);
    EXPECT_EQ(units(image.entries[0].name), u"file.exe");
    EXPECT_EQ(units(image.entries[0].directory), u"C:\\dir");
    EXPECT_EQ(units(image.entries[0].extra_text), u"extra");
    ASSERT_EQ(image.entries[0].properties.size(), 2u);
    EXPECT_EQ(image.entries[0].properties[0].value, (Bytes{1, 2, 3}));
    EXPECT_EQ(record.properties_size, full_entry().properties.size());
    EXPECT_EQ(image.entries[0].end.sha1.text(), std::u16string(40, u'a'));
    EXPECT_FALSE(image.entries[1].end.sha1.found);
    EXPECT_EQ(units(image.entries[1].name), u"second");
    EXPECT_EQ(units(image.entries[1].directory), u"");

    const EntryTable& table = parsed.image->entries;
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table.name(table[0]).str(), u"file.exe");
    EXPECT_EQ(table.directory(table[0]).str(), u"C:\\dir");
    EXPECT_EQ(table[0].flags_d, version >= 3 ? 0xD0000004u : 0u);
    EXPECT_EQ(table.sha1_text(table[0]), std::u16string(40, u'a'));
    EXPECT_EQ(table.directory(table[1]).str(), u"");
  }
}

TEST(ParseImage, VersionOneStartsEntriesRightAfterTheHostsBlock) {
  // In version 1 the four bytes after the hosts block are the first record's lead value, not an
  // application count.
  ImageSpec spec;
  spec.version = 1;
  spec.entries = {entry(u"d", u"n")};
  spec.entries[0].lead_value = 7;
  Parsed parsed = parse(write_image(spec));
  ASSERT_TRUE(parsed.ok);
  ASSERT_EQ(parsed.record.entries.size(), 1u);
  EXPECT_EQ(parsed.record.entries[0].fields.lead_value, 7u);
}

TEST(ParseImage, VersionWordsOutsideOneToFiveAreRefusedWithTheVersionMessage) {
  for (const int version : {0, 6, 0xFFFF}) {
    ImageSpec spec;
    spec.version = 3;
    Bytes bytes = write_image(spec);
    bytes[0] = static_cast<std::uint8_t>(version);
    bytes[1] = static_cast<std::uint8_t>(version >> 8);
    Parsed parsed = parse(bytes);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.messages, VERSION_MESSAGE) << version;
  }
}

TEST(ParseImage, TrailerRules) {
  ImageSpec spec;
  spec.version = 4;
  spec.entries = {entry(u"C:\\x", u"y")};
  spec.hosts = testing::bytes_of("h");

  Bytes good = write_image(spec);
  EXPECT_TRUE(parse(good).ok);

  // Any changed byte under a 32-byte digest is refused, whatever it hits.
  for (std::size_t at : {std::size_t{5}, std::size_t{300}, good.size() - 40}) {
    Bytes changed = good;
    changed[at] ^= 0x10;
    Parsed parsed = parse(changed);
    EXPECT_FALSE(parsed.ok) << at;
    EXPECT_EQ(parsed.messages, VERSION_MESSAGE) << at;
    EXPECT_EQ(parsed.result.outcome, LoadOutcome::digest_refused);
  }

  // A digest length other than 32 means there is no digest to check.
  for (std::uint32_t length : {31u, 33u, 0u}) {
    ImageSpec other = spec;
    other.trailer_length = length;
    other.corrupt_digest = true;
    Parsed parsed = parse(write_image(other));
    EXPECT_TRUE(parsed.ok) << length;
    EXPECT_EQ(parsed.messages, "");
  }

  // A version word lowered to 3 reads the file as version 3: no digest, entries to the end of
  // the file, where the section length and trailer now make no whole record.
  Bytes lowered = good;
  lowered[0] = 3;
  Parsed as_three = parse(lowered);
  EXPECT_EQ(as_three.messages, "");
  EXPECT_FALSE(as_three.ok);
}

TEST(ParseImage, ThirtyEightBytesOrFewerIsTooShortForATrailer) {
  for (std::size_t size : {3u, 37u, 38u}) {
    Bytes bytes(size, 0);
    bytes.at(0) = 4;
    if (size == 38) {
      testing::put_u32(bytes, 2, 32);  // a digest length: the size rule comes first
    }
    Parsed parsed = parse(bytes);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.messages, VERSION_MESSAGE) << size;
  }
  // One byte more passes the size rule and the (absent) digest, then fails silently.
  Bytes bytes(39, 0);
  bytes[0] = 5;
  Parsed parsed = parse(bytes);
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(parsed.messages, "");
}

TEST(ParseImage, FilesTooShortForTheirStartFailSilently) {
  ImageSpec spec;
  spec.version = 2;
  const Bytes whole = write_image(spec);
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{200},
                           std::size_t{289}, whole.size() - 1}) {
    Parsed parsed = parse(Bytes(whole.begin(), whole.begin() + static_cast<long>(size)));
    EXPECT_FALSE(parsed.ok) << size;
    EXPECT_EQ(parsed.messages, "") << size;
  }
  EXPECT_TRUE(parse(whole).ok);
}

TEST(ParseImage, LeftOverBytesAfterTheLastRecordAreRefused) {
  for (const int version : {1, 3}) {
    ImageSpec spec;
    spec.version = static_cast<std::uint16_t>(version);
    spec.entries = {entry(u"C:\\", u"a")};
    EXPECT_TRUE(parse(write_image(spec)).ok);
    for (std::size_t extra = 1; extra <= 105; ++extra) {
      spec.entry_tail = Bytes(extra, 0);
      Parsed parsed = parse(write_image(spec));
      EXPECT_FALSE(parsed.ok) << extra;
      EXPECT_EQ(parsed.messages, "");
      EXPECT_EQ(parsed.image->entries.size(), 1u) << "records before the failure stay";
    }
  }
}

TEST(ParseImage, SmallRecordsNeedRoomForOneHundredAndSixBytes) {
  // A version 1 record with empty texts takes 105 bytes: complete, yet too little room.
  ImageSpec spec;
  spec.version = 1;
  spec.entries = {entry(u"", u"")};
  EXPECT_FALSE(parse(write_image(spec)).ok);
  spec.entries[0].name = {'x'};
  EXPECT_TRUE(parse(write_image(spec)).ok);
}

TEST(ParseImage, SectionRules) {
  ImageSpec spec;
  spec.version = 5;
  spec.entries = {entry(u"C:\\a", u"b")};

  ImageSpec empty = spec;
  empty.section_length = 0;
  empty.after_section = Bytes(50, 0xEE);
  Parsed parsed = parse(write_image(empty));
  ASSERT_TRUE(parsed.ok);
  EXPECT_TRUE(parsed.image->entries.empty());

  ImageSpec trailing = spec;
  trailing.after_section = Bytes(200, 0xEE);
  parsed = parse(write_image(trailing));
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.image->entries.size(), 1u);

  // The section may run into the trailer bytes but not past the end of the file.
  const std::uint32_t record =
      static_cast<std::uint32_t>(testing::write_entry(spec.entries[0], 5).size());
  ImageSpec into_trailer = spec;
  into_trailer.section_length = record + TRAILER_SIZE;
  into_trailer.trailer_length = 0;
  parsed = parse(write_image(into_trailer));
  EXPECT_FALSE(parsed.ok) << "36 trailer bytes make no whole record";
  EXPECT_EQ(parsed.image->entries.size(), 1u);

  ImageSpec past_end = spec;
  past_end.section_length = record + TRAILER_SIZE + 1;
  EXPECT_FALSE(parse(write_image(past_end)).ok);
}

TEST(ParseImage, LengthsPastTheEndAreRefusedWithoutReadingThem) {
  ImageSpec spec;
  spec.version = 3;
  spec.apps = {testing::app(u"k", u"l")};
  spec.entries = {entry(u"C:\\a", u"b")};
  const Bytes good = write_image(spec);
  ASSERT_TRUE(parse(good).ok);

  const std::size_t first_skipped = IMAGE_HEADER_END;
  for (std::uint32_t length : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    for (int block = 0; block < 5; ++block) {  // four skipped blocks and the hosts block
      Bytes bad = good;
      testing::put_u32(bad, first_skipped + 4 * static_cast<std::size_t>(block), length);
      Parsed parsed = parse(bad);
      EXPECT_FALSE(parsed.ok) << block;
      EXPECT_EQ(parsed.messages, "");
    }
  }

  ImageSpec many_apps = spec;
  many_apps.app_count = 0xFFFFFFFF;
  Parsed parsed = parse(write_image(many_apps));
  EXPECT_FALSE(parsed.ok);

  ImageSpec long_property = spec;
  long_property.entries[0].properties = {1, 2};
  long_property.entries[0].properties_length = 3;
  EXPECT_FALSE(parse(write_image(long_property)).ok);

  ImageSpec long_name = spec;
  long_name.entries[0].name_length = 0xFFFFFFF0;
  EXPECT_FALSE(parse(write_image(long_name)).ok);
}

TEST(ParseImage, TextsLongerThanTheirFieldAreRefused) {
  struct Case {
    Bytes testing::EntrySpec::*field;
    std::size_t field_bytes;
  };
  for (const Case& c :
       {Case{&testing::EntrySpec::name, 520}, Case{&testing::EntrySpec::directory, 4096},
        Case{&testing::EntrySpec::extra_text, 2048}}) {
    ImageSpec spec;
    spec.version = 4;
    spec.entries = {entry(u"C:\\a", u"b")};
    spec.entries[0].*c.field = Bytes(c.field_bytes, 'x');
    EXPECT_TRUE(parse(write_image(spec)).ok) << c.field_bytes;
    spec.entries[0].*c.field = Bytes(c.field_bytes + 1, 'x');
    EXPECT_FALSE(parse(write_image(spec)).ok) << c.field_bytes;
  }
}

TEST(ParseImage, EntryTextsReadAsFromAZeroFilledField) {
  ImageSpec spec;
  spec.version = 5;
  spec.entries = {entry(u"", u"")};
  spec.entries[0].name = {'a', 0, 'b', 0, 'c'};        // odd last byte: a unit of its own
  spec.entries[0].directory = {'d', 0, 0, 0, 'e', 0};  // ends at the first NUL unit
  spec.entries[0].extra_text = Bytes(2048, 'x');       // fills the field without a NUL
  Parsed parsed = parse(write_image(spec));
  ASSERT_TRUE(parsed.ok);
  const EntryTable& table = parsed.image->entries;
  EXPECT_EQ(table.name(table[0]).str(), u"abc");
  EXPECT_EQ(table.directory(table[0]).str(), u"d");
  EXPECT_EQ(units(parsed.record.entries[0].extra_text), std::u16string(1024, u'\x7878'));
}

// Enough long distinct directories that the kept texts need more chunks than the arena's
// doubling ever reaches, with empty names among them: every text reads back whole.
TEST(ParseImage, ManyLongDirectoriesAndEmptyNamesReadBackWhole) {
  ImageSpec spec;
  spec.version = 5;
  for (std::size_t i = 0; i < 9000; ++i) {
    std::u16string directory(2000, static_cast<char16_t>(u'a' + i % 26));
    for (const char digit : std::to_string(i)) {
      directory += static_cast<char16_t>(digit);
    }
    spec.entries.push_back(entry(directory, i % 3 == 0 ? u"" : u"n.exe"));
  }
  Parsed parsed = parse(write_image(spec));
  ASSERT_TRUE(parsed.ok);
  const EntryTable& table = parsed.image->entries;
  ASSERT_EQ(table.size(), spec.entries.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    ASSERT_EQ(table.directory(table[i]).str(), units(spec.entries[i].directory)) << i;
    ASSERT_EQ(table.name(table[i]).str(), i % 3 == 0 ? u"" : u"n.exe") << i;
  }
}

// A text ends at its first NUL unit wherever that stands; a unit whose low or high byte alone
// is 0 does not end it.
TEST(ParseImage, EntryTextsEndAtTheirFirstNulUnitWhereverItStands) {
  for (std::size_t nul = 0; nul <= 20; ++nul) {
    std::u16string text;
    for (std::size_t at = 0; at < 20; ++at) {
      text.push_back(at % 3 == 0 ? u'\x0100' : static_cast<char16_t>(u'a' + at));
    }
    const std::u16string expected = text.substr(0, nul);
    if (nul < text.size()) {
      text[nul] = 0;
    }
    EXPECT_EQ(units(utf16le(text, false)), expected) << nul;
  }
}

// Texts kept straight from their stored bytes read back as decoding gives them, in one byte a
// unit exactly where every unit before the NUL fits one: wherever the NUL, a wide unit and an
// odd last byte stand, across the blocks of eight units packed at a time.
TEST(ParseImage, StoredTextsAreKeptAsTheyDecodeInTheirOneForm) {
  EntryTable table;
  for (std::size_t nul = 0; nul <= 20; ++nul) {
    for (std::size_t wide = 0; wide <= 20; wide += 3) {
      for (const int odd : {-1, 0, 0x41}) {
        std::u16string text;
        for (std::size_t at = 0; at < 20; ++at) {
          text.push_back(at == wide ? u'\x0101' : static_cast<char16_t>(u'a' + at));
        }
        if (nul < text.size()) {
          text[nul] = 0;
        }
        Bytes stored = utf16le(text, false);
        if (odd >= 0) {
          stored.push_back(static_cast<std::uint8_t>(odd));
        }
        const std::u16string expected = units(stored);
        const std::uint32_t directory = table.add_stored_directory(stored);
        const EntryRow& row = table.append_stored(stored, directory, {});
        SCOPED_TRACE(::testing::Message() << nul << " " << wide << " " << odd);
        EXPECT_EQ(table.name(row).str(), expected);
        EXPECT_EQ(table.directory(row).str(), expected);
        EXPECT_EQ(EntryTable::is_wide(row.name_length), expected.find(u'\x0101') != std::u16string::npos);
      }
    }
  }
}

TEST(ParseImage, ApplicationTextsKeepTheirWholeUnits) {
  ImageSpec spec;
  spec.version = 2;
  spec.apps = {testing::AppSpec{{{'k', 0, 'e', 0, 'y'}, {}, {'l', 0}, {}}},
               testing::AppSpec{{{'k', 0, 0, 0, 'x', 0}, {}, {}, {}}}};
  Parsed parsed = parse(write_image(spec));
  ASSERT_TRUE(parsed.ok);
  const AppList& apps = parsed.image->apps;
  ASSERT_EQ(apps.size(), 2u);
  EXPECT_EQ(apps.key(apps[0]), u"ke");  // an odd last byte is part of no unit
  EXPECT_EQ(apps.label(apps[0]), u"l");
  EXPECT_EQ(apps.key(apps[1]), u"k") << "read up to the first NUL";
  EXPECT_EQ(apps.label(apps[1]), u"");
  EXPECT_EQ(parsed.record.apps[0].size(), 4u) << "version 2 has no fifth text";
}

// The same file read through any window size, with reads of any size, on one thread or two,
// or on one and then two, gives the same records: nothing is lost or changed where a field
// straddles two windows or where reading moves to another thread.
TEST(LoadImage, WindowAndReadSizesChangeNothing) {
  ImageSpec spec;
  spec.version = 5;
  spec.hosts = testing::bytes_of(std::string(5000, 'h') + "\n10.0.0.1 x");
  spec.apps = {testing::app(u"{A}", std::u16string(3000, u'l')), testing::app(u"{B}", u"b")};
  for (int i = 0; i < 40; ++i) {
    testing::EntrySpec record = full_entry();
    record.directory = utf16le(std::u16string(static_cast<std::size_t>(i * 50 % 2048), u'd'), false);
    record.name = utf16le(u"n" + std::u16string(static_cast<std::size_t>(i * 7 % 250), u'x'), false);
    spec.entries.push_back(record);
  }
  spec.entries[3].properties = Bytes(9000, 0xEE);  // a block larger than any window below
  const Bytes bytes = write_image(spec);
  const Parsed reference = parse(bytes, {false, 1 << 20, SIZE_MAX});
  ASSERT_TRUE(reference.ok);
  ASSERT_EQ(reference.result.digest, DigestState::checked);  // however the hashing was split
  const auto expect_as_reference = [&](const testing::RecordingSink& record) {
    EXPECT_EQ(record.hosts, reference.record.hosts);
    EXPECT_EQ(record.apps, reference.record.apps);
    ASSERT_EQ(record.entries.size(), reference.record.entries.size());
    for (std::size_t i = 0; i < record.entries.size(); ++i) {
      const auto& left = record.entries[i];
      const auto& right = reference.record.entries[i];
      EXPECT_EQ(left.fields.offset, right.fields.offset);
      EXPECT_EQ(left.fields.lead_value, right.fields.lead_value);
      EXPECT_EQ(left.fields.byte_c, right.fields.byte_c);
      EXPECT_EQ(left.block_a, right.block_a);
      EXPECT_EQ(left.name, right.name);
      EXPECT_EQ(left.directory, right.directory);
      EXPECT_EQ(left.extra_text, right.extra_text);
      EXPECT_EQ(left.end.sha1.text(), right.end.sha1.text());
      EXPECT_EQ(left.end.well_formed, right.end.well_formed);
      ASSERT_EQ(left.properties.size(), right.properties.size());
      for (std::size_t p = 0; p < left.properties.size(); ++p) {
        EXPECT_EQ(left.properties[p].name, right.properties[p].name);
        EXPECT_EQ(left.properties[p].value, right.properties[p].value);
      }
    }
  };
  for (const ReadMode mode : {ReadMode{true, 16, SIZE_MAX}, ReadMode{false, 17, 3},
                              ReadMode{true, 100, 7}, ReadMode{false, 4099, SIZE_MAX},
                              ReadMode{true, 65536, 1000}, ReadMode{false, 100, 7, 1000},
                              ReadMode{false, 64, SIZE_MAX, 0},
                              ReadMode{false, 16, 7, SIZE_MAX, true},
                              ReadMode{false, 100, 7, 9000, true}}) {
    SCOPED_TRACE(mode.window);
    const Parsed parsed = parse(bytes, mode);
    ASSERT_TRUE(parsed.ok);
    expect_as_reference(parsed.record);
  }

  // The same bytes in a real file, seen through many of the system's views where it has them.
  const testing::TempDir dir;
  const OpenedFile opened = open_input_file(dir.write("image", bytes));
  ASSERT_NE(opened.file, nullptr);
  WindowBuffers windows(100, WindowBuffers::DEFAULT_COUNT, 0);
  testing::RecordingSink record;
  const LoadResult result = ImageLoader(windows, {.threaded = false}).load(*opened.file, record);
  EXPECT_EQ(result.outcome, reference.result.outcome);
  EXPECT_EQ(result.digest, reference.result.digest);
  expect_as_reference(record);
}

// A file that delivers fewer bytes than its size cannot be read whole, whatever else is wrong
// with it; a digest mismatch outranks broken contents; broken contents say where they broke.
TEST(LoadImage, OutcomesTakeTheirOrderFromTheWholeFile) {
  ImageSpec spec;
  spec.version = 4;
  spec.entries = {entry(u"C:\\a", u"b"), entry(u"C:\\a", u"c")};
  const Bytes good = write_image(spec);
  Bytes broken = good;
  const std::size_t second_record =
      good.size() - TRAILER_SIZE - testing::write_entry(spec.entries[1], 4).size();
  testing::put_u32(broken, second_record + LAYOUT_V3_V4.fixed_size, 0x7FFFFFFF);  // name length

  Parsed digest = parse(broken);
  EXPECT_EQ(digest.result.outcome, LoadOutcome::digest_refused);
  EXPECT_EQ(digest.result.digest, DigestState::mismatch);

  ImageSpec unchecked = spec;
  unchecked.trailer_length = 0;
  Bytes malformed = write_image(unchecked);
  testing::put_u32(malformed, second_record + LAYOUT_V3_V4.fixed_size, 0x7FFFFFFF);
  Parsed parsed = parse(malformed);
  EXPECT_EQ(parsed.result.outcome, LoadOutcome::malformed);
  EXPECT_EQ(parsed.result.offset, second_record + LAYOUT_V3_V4.fixed_size);
  EXPECT_EQ(std::string(parsed.result.expected), "an entry name that ends within the entry section");
  EXPECT_EQ(parsed.result.digest, DigestState::absent);
  EXPECT_EQ(parsed.record.entries.size(), 1u);
  EXPECT_EQ(parse(good).result.digest, DigestState::checked);

  // Inline, threaded, inline with a free core to take the reading over from the start, and
  // inline through views of the file (a view of a file cut short reads as zeros), alone and
  // with a free core to take the hashing over.
  struct Way {
    bool threaded;
    bool freed;
    bool viewable;
  };
  for (const Way way : {Way{false, false, false}, Way{true, false, false}, Way{false, true, false},
                        Way{false, false, true}, Way{false, true, true}}) {
    const auto [threaded, freed, viewable] = way;
    for (const Bytes* bytes : std::array<const Bytes*, 3>{&good, &broken, &malformed}) {
      for (const bool shrinks : {false, true}) {
        testing::FakeFile file;
        file.bytes = *bytes;
        file.viewable = viewable;
        if (shrinks) {
          file.ends_at = bytes->size() - 1;
        } else {
          file.fails_at = bytes->size() / 2;
        }
        testing::RecordingSink sink;
        WindowBuffers windows(64, WindowBuffers::DEFAULT_COUNT, 0);
        const OpenedFile opened = testing::open_fake_file(file);
        const std::atomic<bool> core_freed = freed;
        const LoadResult result =
            ImageLoader(windows, {.threaded = threaded, .core_freed = &core_freed})
                .load(*opened.file, sink);
        EXPECT_EQ(result.outcome, LoadOutcome::unreadable);
        EXPECT_EQ(result.read_failure, ReadFailure::read_error);
      }
    }
  }
}

// A load given up on from another thread reads no window after the one it was reading when
// told, and says that it was abandoned rather than what the bytes read so far showed.
TEST(LoadImage, AnAbandonedLoadReadsNoFurtherWindow) {
  ImageSpec spec;
  for (int i = 0; i < 100; ++i) {
    spec.entries.push_back(entry(u"C:\\dir", u"name" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26))));
  }
  const Bytes bytes = write_image(spec);
  constexpr std::size_t WINDOW = 64;
  constexpr std::size_t TOLD_AT = 5 * WINDOW;
  for (const bool threaded : {false, true}) {
    std::atomic<bool> abandon = false;
    std::atomic<std::size_t> furthest = 0;
    testing::FakeFile file;
    file.bytes = bytes;
    file.on_read = [&](std::size_t at) {
      furthest = at;
      abandon = abandon || at >= TOLD_AT;
    };
    const OpenedFile opened = testing::open_fake_file(file);
    WindowBuffers windows(WINDOW);
    LoadedImage image;
    TableSink sink(image);
    const LoadResult result =
        ImageLoader(windows, {.threaded = threaded, .abandon = &abandon}).load(*opened.file, sink);
    EXPECT_EQ(result.outcome, LoadOutcome::abandoned) << threaded;
    EXPECT_EQ(furthest, TOLD_AT) << threaded;
  }
}

}  // namespace
}  // namespace tarvel
