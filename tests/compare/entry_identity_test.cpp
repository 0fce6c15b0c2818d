#include <gtest/gtest.h>

#include "compare/entry_identity.h"

namespace tarvel {
namespace {

EntryRecord& add(EntryTable& table, std::u16string_view directory, std::u16string_view name) {
  EntryRecord record;
  record.directory = table.store_text(directory);
  record.name = table.store_text(name);
  return table.append(record);
}

EntryTable table_of(
    std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> keys) {
  EntryTable table;
  for (const auto& [directory, name] : keys) {
    add(table, directory, name);
  }
  return table;
}

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

TEST(FindEntry, MatchesExactlyAndFindsTheLowestIndex) {
  EntryTable table = table_of({{u"C:\\Windows", u"Explorer.exe"},
                               {u"C:\\WINDOWS", u"a"},
                               {u"", u"loose"},
                               {u"C:\\Windows", u"x"},
                               {u"C:\\Windows", u"x"},
                               {u"C:\\Windows", u"Explorer.exe"}});
  const EntryIndex index(table);
  EXPECT_EQ(find_entry(index, u"Explorer.exe", u"C:\\Windows"), &table[0]);
  EXPECT_EQ(find_entry(index, u"x", u"C:\\Windows"), &table[3]);
  EXPECT_EQ(find_entry(index, u"explorer.exe", u"C:\\Windows"), nullptr);
  EXPECT_EQ(find_entry(index, u"a", u"C:\\Windows"), nullptr);
  EXPECT_EQ(find_entry(index, u"loose", u""), &table[2]);
  EXPECT_EQ(find_entry(index, u"loose", u"C:"), nullptr);
  // The key is the pair, not the joined path.
  EXPECT_EQ(find_entry(index, u"Windows\\x", u"C:"), nullptr);

  EntryTable empty;
  EXPECT_EQ(find_entry(EntryIndex(empty), u"x", u""), nullptr);
}

TEST(FindEntry, AgreesWithAFrontToBackScanOnManyCollidingKeys) {
  EntryTable table;
  for (int i = 0; i < 5000; ++i) {
    add(table, u"C:\\d" + std::u16string(static_cast<std::size_t>(i % 7), u'x'),
        u"n" + std::u16string(static_cast<std::size_t>(i % 13), u'y'));
  }
  const EntryIndex index(table);
  for (int d = 0; d < 8; ++d) {
    for (int n = 0; n < 14; ++n) {
      const std::u16string directory = u"C:\\d" + std::u16string(static_cast<std::size_t>(d), u'x');
      const std::u16string name = u"n" + std::u16string(static_cast<std::size_t>(n), u'y');
      const EntryRecord* scan = nullptr;
      for (const EntryRecord& candidate : table) {
        if (candidate.name == name && candidate.directory == directory) {
          scan = &candidate;
          break;
        }
      }
      EXPECT_EQ(find_entry(index, name, directory), scan) << d << " " << n;
      // A hint never changes the answer, wherever it points: at a later duplicate, at the
      // match itself, at another key or past the end.
      for (std::size_t hint : {std::size_t{0}, std::size_t{91}, std::size_t{4999},
                               std::size_t{5000}, std::size_t{123456}}) {
        EXPECT_EQ(index.find_near(name, directory, hint), scan) << d << " " << n << " " << hint;
      }
      if (scan != nullptr) {
        const std::size_t at = index.index_of(*scan);
        EXPECT_EQ(index.find_near(name, directory, at), scan);
        EXPECT_EQ(index.find_near(name, directory, at + 91), scan) << "a later duplicate";
      }
    }
  }
}

TEST(BuildFullPath, JoinsWithOneBackslashWhateverTheLength) {
  EntryTable table;
  std::u16string path = u"previous content";
  build_full_path(add(table, u"C:\\", u"boot.ini"), path);
  EXPECT_EQ(path, u"C:\\\\boot.ini");
  build_full_path(add(table, u"", u"name"), path);
  EXPECT_EQ(path, u"name");
  const std::u16string long_directory(2047, u'd');
  const std::u16string long_name(259, u'n');
  build_full_path(add(table, long_directory, long_name), path);
  EXPECT_EQ(path.size(), 2307u);
  EXPECT_EQ(path, long_directory + u"\\" + long_name);
}

}  // namespace
}  // namespace tarvel
