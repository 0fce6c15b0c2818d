// Entry keys, directory normalisation and how entries of two images are matched.
#include <gtest/gtest.h>

#include "compare/entry_identity.h"

#include <memory>
#include <span>
#include <tuple>
#include <vector>

#include "image/table_sink.h"
#include "testing/image_writer.h"

namespace tarvel {
namespace {

const TableHash HASH({7, 11});

std::uint32_t add(EntryTable& table, std::u16string_view directory, std::u16string_view name) {
  table.append(name, table.add_directory(directory), EntryFields{});
  return static_cast<std::uint32_t>(table.size() - 1);
}

std::unique_ptr<EntryTable> table_of(
    std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> keys) {
  auto table = std::make_unique<EntryTable>();
  for (const auto& [directory, name] : keys) {
    add(*table, directory, name);
  }
  return table;
}

std::uint32_t find_entry(const EntryTable&, const EntryIndex& index, std::u16string_view name,
                         std::u16string_view directory) {
  return index.find(name, directory);
}

constexpr std::uint32_t NONE = IdTable::NONE;

TEST(NormaliseDirectory, UpperCasesTheFirstLetterAfterAnyLongPathPrefix) {
  const DriveMap identity = identity_drive_map();
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"c:\\windows\\system32", u"C:\\windows\\system32"},
      {u"\\\\?\\c:\\temp", u"\\\\?\\C:\\temp"},
      {u"program files", u"Program files"},
      {u"\\\\?\\unc\\server", u"\\\\?\\Unc\\server"},
      {u"1:\\x", u"1:\\x"},
      {u"\\\\server\\share", u"\\\\server\\share"},
      {u"\\\\?x\\c:", u"\\\\?x\\c:"},
      {u"\\\\?\\", u"\\\\?\\"},
      {u"\x00e9:\\", u"\x00e9:\\"},
      {u"", u""},
  };
  for (const auto& [loaded, expected] : cases) {
    std::u16string directory(loaded);
    normalise_directory(directory, identity);
    EXPECT_EQ(directory, expected);
    // Kept one byte a unit, the same rewrite.
    std::vector<unsigned char> bytes(loaded.begin(), loaded.end());
    EXPECT_TRUE(normalise_directory(std::span<unsigned char>(bytes), identity));
    EXPECT_EQ(std::u16string(bytes.begin(), bytes.end()), expected);
  }
}

TEST(NormaliseDirectory, MapsDriveLettersOnly) {
  DriveMap map = identity_drive_map();
  map[2] = u'D';  // C stands for D
  std::u16string drive = u"c:\\data";
  std::u16string no_colon = u"c\\data";
  normalise_directory(drive, map);
  normalise_directory(no_colon, map);
  EXPECT_EQ(drive, u"D:\\data");
  EXPECT_EQ(no_colon, u"C\\data");
}

// New-image directories as the table sink keeps them: rewritten in their stored bytes where they
// stay one byte a unit, decoded first where they do not, and a run of entries whose directories
// are equal once rewritten shares one.
TEST(NormaliseDirectory, NewImageDirectoriesAreKeptAsRewrittenInTheirOneForm) {
  DriveMap map = identity_drive_map();
  map[3] = u'\x0100';  // D stands for a letter beyond one byte
  const DirectoryRewrite rewrite{
      [&](std::span<char16_t> directory) { normalise_directory(directory, map); },
      [&](std::span<unsigned char> directory) { return normalise_directory(directory, map); }};
  // Stored, kept, kept wide, sharing the directory of the entry before.
  const std::tuple<std::u16string_view, std::u16string_view, bool, bool> cases[] = {
      {u"c:\\data", u"C:\\data", false, false},
      {u"C:\\data", u"C:\\data", false, true},
      {u"d:\\data", u"\x0100:\\data", true, false},
      {u"\x0100:\\data", u"\x0100:\\data", true, true},
      {u"e:\\d\x0101ta", u"E:\\d\x0101ta", true, false},
      {u"e:\\d\x00e9ta", u"E:\\d\x00e9ta", false, false},
  };
  LoadedImage image;
  TableSink sink(image, rewrite);
  const testing::Bytes name = testing::utf16le(u"n");
  for (const auto& [stored, kept, wide, same_as_last] : cases) {
    const testing::Bytes directory = testing::utf16le(stored);
    EntryFields fields;
    fields.directory = directory;
    fields.name = name;
    sink.entry(fields);
    const EntryTable& table = image.entries;
    const EntryRow& row = table[table.size() - 1];
    EXPECT_EQ(table.directory(row).str(), kept);
    EXPECT_EQ(table.directory(row).wide(), wide) << table.size();
    EXPECT_EQ(table.size() > 1 && row.directory == table[table.size() - 2].directory, same_as_last)
        << table.size();
  }
}

TEST(FindEntry, MatchesExactlyAndFindsTheLowestIndex) {
  const auto table = table_of({{u"C:\\Windows", u"Explorer.exe"},
                               {u"C:\\WINDOWS", u"a"},
                               {u"", u"loose"},
                               {u"C:\\Windows", u"x"},
                               {u"C:\\Windows", u"x"},
                               {u"C:\\Windows", u"Explorer.exe"}});
  const EntryIndex index(*table, HASH);
  EXPECT_EQ(find_entry(*table, index, u"Explorer.exe", u"C:\\Windows"), 0u);
  EXPECT_EQ(find_entry(*table, index, u"x", u"C:\\Windows"), 3u);
  EXPECT_EQ(find_entry(*table, index, u"explorer.exe", u"C:\\Windows"), NONE);
  EXPECT_EQ(find_entry(*table, index, u"a", u"C:\\Windows"), NONE);
  EXPECT_EQ(find_entry(*table, index, u"loose", u""), 2u);
  EXPECT_EQ(find_entry(*table, index, u"loose", u"C:"), NONE);
  // The key is the pair, not the joined path.
  EXPECT_EQ(find_entry(*table, index, u"Windows\\x", u"C:"), NONE);

  const EntryTable empty;
  EXPECT_EQ(EntryIndex(empty, HASH).find(u"x", u""), NONE);
}

TEST(FindEntry, AgreesWithAFrontToBackScanOnManyCollidingKeys) {
  // The answers never depend on the hash key, nor on whether the index hashes the texts itself
  // or takes the tags the table kept as entries arrived (from the second entry on here, so
  // that both ways of keeping them are used).
  const auto fill = [](EntryTable& table, int from, int to) {
    for (int i = from; i < to; ++i) {
      add(table, u"C:\\d" + std::u16string(static_cast<std::size_t>(i % 7), u'x'),
          u"n" + std::u16string(static_cast<std::size_t>(i % 13), u'y'));
    }
  };
  constexpr int COUNT = 5000;
  EntryTable table;
  fill(table, 0, COUNT);
  for (const auto& [key, tagged] : {std::pair{HashKey{7, 11}, false},
                                    {HashKey{7, 11}, true},
                                    {HashKey{0, 0}, true},
                                    {HashKey{~0ULL, 5}, false}}) {
    const TableHash hash(key);
    EntryTable with_tags;
    fill(with_tags, 0, 1);
    with_tags.keep_key_tags(hash);
    fill(with_tags, 1, COUNT);
    ASSERT_TRUE(with_tags.has_key_tags_of(hash));
    const EntryIndex index(tagged ? with_tags : table, hash);
    for (int d = 0; d < 8; ++d) {
      for (int n = 0; n < 14; ++n) {
        const std::u16string directory =
            u"C:\\d" + std::u16string(static_cast<std::size_t>(d), u'x');
        const std::u16string name = u"n" + std::u16string(static_cast<std::size_t>(n), u'y');
        std::uint32_t scan = NONE;
        for (std::size_t at = 0; at < table.size(); ++at) {
          if (table.name(table[at]).str() == name &&
              table.directory(table[at]).str() == directory) {
            scan = static_cast<std::uint32_t>(at);
            break;
          }
        }
        EXPECT_EQ(index.find(name, directory), scan) << d << " " << n;
        // Any entry with the key leads to the first one.
        if (scan != NONE) {
          for (std::size_t at = scan; at < table.size(); at += 91) {
            if (table.name(table[at]).str() == name &&
                table.directory(table[at]).str() == directory) {
              EXPECT_EQ(index.first_of_key(at), scan) << at;
            }
          }
        }
      }
    }
  }
}

TEST(FindEntry, MatchesAcrossTablesByTextWhereverADirectoryWasKept) {
  // The same directory kept twice in one table, and once in another, is one directory.
  const auto old_table = table_of({{u"C:\\a", u"1"}, {u"D:", u"2"}, {u"C:\\a", u"3"}});
  const auto new_table = table_of({{u"C:\\a", u"3"}, {u"c:\\a", u"1"}, {u"C:\\a", u"1"}});
  const EntryIndex index(*new_table, HASH);
  EXPECT_EQ(index.find(key_of(*old_table, (*old_table)[0])), 2u);
  EXPECT_EQ(index.find(key_of(*old_table, (*old_table)[1])), NONE);
  EXPECT_EQ(index.find(key_of(*old_table, (*old_table)[2])), 0u);
}

// Texts whose units are all below 0x100 are kept one byte a unit, others two: either way each
// text reads back whole, equal texts are one key whatever form a lookup gives them in, and a
// unit of 0x100 or more anywhere makes the whole text wide.
TEST(FindEntry, TextsOfEitherFormAreKeptWholeAndMatchExactly) {
  std::vector<std::pair<std::u16string, std::u16string>> keys;
  for (std::size_t length = 1; length <= 17; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      std::u16string name(length, u'\x00E9');
      if (at < length) {
        name[at] = u'\x0100';
      }
      keys.push_back({u"C:\\Donn\u00E9es", name});
      keys.push_back({u"C:\\\x03A9" + name, u"\x00FF"});
    }
  }
  EntryTable table;
  for (const auto& [directory, name] : keys) {
    add(table, directory, name);
  }
  const EntryIndex index(table, HASH);
  std::u16string path;
  for (std::size_t at = 0; at < keys.size(); ++at) {
    const auto& [directory, name] = keys[at];
    const bool wide = name.find(u'\x0100') != std::u16string::npos;
    EXPECT_EQ(table.name(table[at]).str(), name) << at;
    EXPECT_EQ(table.name(table[at]).wide(), wide) << at;
    EXPECT_EQ(table.directory(table[at]).wide(), directory.find(u'\x03A9') != std::u16string::npos);
    build_full_path(table, table[at], path);
    EXPECT_EQ(path, directory + u"\\" + name) << at;
    EXPECT_EQ(index.find(name, directory), at) << at;
    EXPECT_EQ(index.find(name + u"x", directory), NONE) << at;
  }
  // Equal texts of two tables are one key; a text that differs in one unit is not.
  const auto other = table_of({{u"C:\\Donn\u00E9es", u"\x00E9"}, {u"C:\\Donn\u0100es", u"\x00E9"}});
  ASSERT_EQ(keys[2].second, u"\x00E9");
  EXPECT_EQ(index.find(key_of(*other, (*other)[0])), 2u);
  EXPECT_TRUE(same_key(table, table[2], *other, (*other)[0]));
  EXPECT_EQ(index.find(key_of(*other, (*other)[1])), NONE);
}

TEST(BuildFullPath, JoinsWithOneBackslashWhateverTheLength) {
  EntryTable table;
  std::u16string path = u"previous content";
  build_full_path(table, table[add(table, u"C:\\", u"boot.ini")], path);
  EXPECT_EQ(path, u"C:\\\\boot.ini");
  build_full_path(table, table[add(table, u"", u"name")], path);
  EXPECT_EQ(path, u"name");
  const std::u16string long_directory(2047, u'd');
  const std::u16string long_name(259, u'n');
  build_full_path(table, table[add(table, long_directory, long_name)], path);
  EXPECT_EQ(path.size(), 2307u);
  EXPECT_EQ(path, long_directory + u"\\" + long_name);
}

}  // namespace
}  // namespace tarvel
