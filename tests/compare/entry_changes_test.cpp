// The entry passes checked against a plain front-to-back implementation of what they must
// find, on tables with duplicates, case variants, moved entries and every kind of SHA1 value.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "compare/compare_images.h"
#include "compare/entry_changes.h"
#include "image/format.h"

namespace tarvel {
namespace {

struct Entry {
  std::u16string directory;
  std::u16string name;
  std::uint32_t flags_a = 0;
  std::uint32_t flags_b = 0;
  std::uint32_t flags_c = 0;
  std::uint32_t flags_d = 0;
  std::u16string sha1;  // empty: none
};

void fill(EntryTable& table, const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    EntryFields fields;
    fields.flags_a = entry.flags_a;
    fields.flags_b = entry.flags_b;
    fields.flags_c = entry.flags_c;
    fields.flags_d = entry.flags_d;
    EntryRow& row = table.append(entry.name, table.add_directory(entry.directory), fields);
    Sha1Value value;
    value.found = !entry.sha1.empty();
    for (std::size_t unit = 0; unit < entry.sha1.size(); ++unit) {
      value.bytes[2 * unit] = static_cast<std::uint8_t>(entry.sha1[unit]);
      value.bytes[2 * unit + 1] = static_cast<std::uint8_t>(entry.sha1[unit] >> 8);
    }
    table.set_sha1(row, value);
  }
}

// The passes as a front-to-back scan would run them, into ordered case-folded maps.
struct Expected {
  std::map<std::u16string, std::u16string> sets[5];
};

Expected scan(const std::vector<Entry>& old_entries, const std::vector<Entry>& new_entries,
              const CaseFolding& folding) {
  Expected out;
  const auto insert = [&](int set, const std::u16string& path) {
    std::u16string folded;
    folding.fold(path, folded);
    out.sets[set].try_emplace(folded, path);
  };
  const auto find = [](const std::vector<Entry>& table, const Entry& key) -> const Entry* {
    for (const Entry& entry : table) {
      if (entry.name == key.name && entry.directory == key.directory) {
        return &entry;
      }
    }
    return nullptr;
  };
  const auto path = [](const Entry& entry) {
    return entry.directory.empty() ? entry.name : entry.directory + u"\\" + entry.name;
  };
  const auto autorun = [](const Entry* entry) {
    return entry != nullptr && (entry->flags_a & AUTORUN_BITS) != 0;
  };
  for (const Entry& entry : new_entries) {
    if (autorun(&entry) && !autorun(find(old_entries, entry))) {
      insert(0, path(entry));
    }
  }
  for (const Entry& entry : old_entries) {
    if (autorun(&entry) && !autorun(find(new_entries, entry))) {
      insert(1, path(entry));
    }
  }
  for (const Entry& entry : old_entries) {
    const Entry* match = find(new_entries, entry);
    if ((entry.flags_a | entry.flags_b | entry.flags_c | entry.flags_d) == 0 || match == nullptr) {
      continue;
    }
    const auto exempt = [](const Entry& e) {
      return (e.flags_a & HASH_EXEMPT_A) != 0 || (e.flags_c & HASH_EXEMPT_C) != 0;
    };
    if (!exempt(entry) && !exempt(*match)) {
      if (entry.sha1.empty() || match->sha1.empty()) {
        insert(3, path(entry));
      } else if (entry.sha1 != match->sha1) {
        insert(2, path(entry));
      }
    }
    const auto masked = [](const Entry& e) {
      return std::array<std::uint32_t, 3>{e.flags_a & STATUS_KEEP_A, e.flags_c & STATUS_KEEP_C,
                                          e.flags_d};
    };
    if (masked(entry) != masked(*match)) {
      insert(4, path(entry));
    }
  }
  return out;
}

std::vector<std::u16string> members(const NameSet& set) {
  std::vector<std::u16string> out;
  set.for_each([&](std::u16string_view text, const NameSet::Member&) { out.emplace_back(text); });
  return out;
}

std::vector<std::u16string> members(const std::map<std::u16string, std::u16string>& set) {
  std::vector<std::u16string> out;
  for (const auto& [folded, text] : set) {
    out.push_back(text);
  }
  return out;
}

TEST(DetectEntryChanges, FindsWhatAFrontToBackScanFinds) {
  std::mt19937 random(5);
  const auto pick = [&](std::uint32_t bound) { return static_cast<std::uint32_t>(random() % bound); };
  const std::u16string directories[] = {u"C:\\Windows", u"C:\\WINDOWS", u"D:\\data", u"",
                                        u"c:\\temp"};
  const std::u16string sha1s[] = {u"",
                                  u"0123456789abcdef0123456789abcdef01234567",
                                  u"0123456789ABCDEF0123456789ABCDEF01234567",
                                  u"0123456789aBcdef0123456789abcdef01234567",
                                  u"0123456789abcdef0123456789abcdef0123456",
                                  u"0123456789abcdef0123456789abcdef012345670"};
  const auto random_entry = [&] {
    Entry entry;
    entry.directory = directories[pick(5)];
    entry.name = u"f" + std::u16string(1, static_cast<char16_t>(u'a' + pick(40)));
    entry.flags_a = pick(4) == 0 ? 0 : (pick(2) == 0 ? 0x4 : 0x20) | (pick(8) == 0 ? HASH_EXEMPT_A : 0);
    entry.flags_b = pick(2);
    entry.flags_c = pick(10) == 0 ? HASH_EXEMPT_C : pick(3);
    entry.flags_d = pick(6) == 0 ? 1 : 0;
    entry.sha1 = sha1s[pick(6)];
    return entry;
  };
  for (int round = 0; round < 20; ++round) {
    std::vector<Entry> old_entries;
    std::vector<Entry> new_entries;
    for (int i = 0; i < 300; ++i) {
      Entry entry = random_entry();
      if (pick(10) != 0) {
        old_entries.push_back(entry);
      }
      if (pick(10) != 0) {
        if (pick(8) == 0) {
          entry = random_entry();
        }
        new_entries.push_back(entry);
      }
    }
    const auto folding = CaseFolding::from_current_locale();
    EntryTable old_table;
    EntryTable new_table;
    fill(old_table, old_entries);
    fill(new_table, new_entries);
    Differences found(*folding);
    detect_entry_changes(old_table, new_table, EntryIndex(new_table, TableHash({1, 2})), found);
    const Expected expected = scan(old_entries, new_entries, *folding);
    const NameSet* sets[] = {&found.autorun_new, &found.autorun_removed, &found.modified,
                             &found.no_sha1, &found.changed_status};
    for (int set = 0; set < 5; ++set) {
      EXPECT_EQ(members(*sets[set]), members(expected.sets[set])) << round << " set " << set;
    }
  }
}

TEST(NameSetAppend, KeepsTheOrderOfInsertionAcrossSets) {
  const auto folding = CaseFolding::from_current_locale();
  NameSet first(*folding);
  NameSet later(*folding);
  first.insert(u"B");
  later.insert(u"b");
  later.insert(u"A");
  first.insert(u"c");
  first.sort();  // a set already in order takes the later members too
  first.append(std::move(later));
  EXPECT_EQ(members(first), (std::vector<std::u16string>{u"A", u"B", u"c"}));
}

TEST(TableHash, HashesEqualTextsAlikeAndTellsPairsApart) {
  const TableHash hash({9, 10});
  const std::u16string long_text(TableHash::KEY_WORDS * 3, u'x');
  EXPECT_EQ(hash.units(u"abc"), hash.units(std::u16string(u"abc")));
  EXPECT_EQ(hash.units(long_text), hash.units(std::u16string(long_text)));
  EXPECT_NE(hash.units(long_text), hash.units(long_text.substr(1)));
  // An entry key: directory and name split in two places, and texts too long for the keys.
  const auto key = [&](std::u16string_view directory, std::u16string_view name) {
    return hash.directory_part(directory) + hash.name_part(name);
  };
  EXPECT_NE(key(u"ab", u"c"), key(u"a", u"bc"));
  EXPECT_NE(key(u"", u"ab"), key(u"ab", u""));
  EXPECT_EQ(key(long_text, u"n"), key(std::u16string(long_text), u"n"));
  EXPECT_NE(key(long_text, u"n"), key(long_text.substr(1), u"n"));
  EXPECT_NE(key(u"d", long_text), key(u"d", long_text.substr(1)));
  EXPECT_NE(hash.units(u"a"), hash.units(std::u16string_view(u"a\0", 2)));
  const auto folding = CaseFolding::from_current_locale();
  const unsigned char* fold = folding->byte_table();
  EXPECT_EQ(hash.folded_bytes("Host", fold), hash.folded_bytes("hOST", fold));
  EXPECT_NE(hash.folded_bytes("host", fold), hash.folded_bytes("hos", fold));
}

}  // namespace
}  // namespace tarvel
