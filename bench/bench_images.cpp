// Generated image pairs for benchmarks: ordinary machines, extreme shapes and rules files.
#include "bench_images.h"

#include "bench_random.h"
#include "colliding_keys.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <unordered_set>
#include <vector>

namespace tarvel::bench {

namespace {

using testing::Bytes;

constexpr std::array<std::u16string_view, 24> WORDS = {
    u"Windows", u"System32",  u"Program Files", u"Users",   u"AppData",     u"Local",
    u"Roaming", u"Microsoft", u"Temp",          u"drivers", u"etc",         u"Common Files",
    u"Lindell", u"Marrowby",  u"Update",        u"cache",   u"Packages",    u"WinSxS",
    u"Résumés", u"Données",   u"Überblick",     u"logs",    u"ProgramData", u"Startup"};
constexpr std::array<std::u16string_view, 8> EXTENSIONS = {u".exe", u".dll", u".sys", u".ini",
                                                           u".dat", u".log", u".lnk", u".txt"};
constexpr std::u16string_view LETTERS =
    u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";
constexpr std::u16string_view HEX = u"0123456789abcdef";
constexpr std::uint32_t AUTORUN_BIT = 0x00000004;

struct Entry {
  std::u16string directory;
  std::u16string name;
  std::u16string sha1;  // empty: no SHA1 property
  std::uint32_t flags_a;
  std::uint32_t flags_c;
};

std::u16string random_directory(Random& random) {
  std::u16string directory;
  // A few directories carry a lower-case drive letter, which only a new image's normalisation
  // mends; those old-image entries then find no match.
  directory.push_back(
      static_cast<char16_t>((random.chance(900) ? u'C' : u'D') + (random.chance(5) ? 0x20 : 0)));
  directory += u":";
  const std::size_t levels = 2 + random.below(5);
  for (std::size_t level = 0; level < levels; ++level) {
    directory += u"\\";
    directory += WORDS[random.below(WORDS.size())];
    if (random.chance(400)) {
      directory += LETTERS.substr(random.below(LETTERS.size() - 4), 3);
    }
  }
  return directory;
}

std::u16string random_name(Random& random) {
  // 2 to 24 characters and a 4-character extension.
  const std::size_t length = 2 + random.below(23);
  std::u16string name;
  for (std::size_t i = 0; i < length; ++i) {
    name.push_back(LETTERS[random.below(LETTERS.size())]);
  }
  if (random.chance(20)) {
    name[0] = u'\x00E9';
  }
  return name + std::u16string(EXTENSIONS[random.below(EXTENSIONS.size())]);
}

std::u16string random_sha1(Random& random) {
  std::u16string value;
  for (int i = 0; i < 40; ++i) {
    value.push_back(HEX[random.below(16)]);
  }
  return value;
}

std::string utf8(std::u16string_view text) {
  std::string out;
  for (const char16_t unit : text) {
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
    } else {  // the generators use Latin-1 letters only
      out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return out;
}

Entry random_entry(Random& random) {
  Entry entry;
  entry.directory = random_directory(random);
  entry.name = random_name(random);
  if (random.chance(950)) {
    entry.sha1 = random_sha1(random);
  }
  entry.flags_a = 0x20 | (random.chance(20) ? AUTORUN_BIT : 0) |
                  static_cast<std::uint32_t>(random.below(4) << 5);
  entry.flags_c = static_cast<std::uint32_t>(random.below(2) << 4);
  return entry;
}

Bytes entry_bytes(const Entry& entry) {
  testing::EntrySpec spec =
      testing::entry(entry.directory, entry.name, entry.flags_a, entry.flags_c);
  spec.lead_value = entry.name.size();
  Bytes other =
      testing::property_item(testing::utf16le(u"Version"), testing::utf16le(u"10.0.19041.1"));
  spec.properties =
      entry.sha1.empty() ? other : testing::concat({testing::sha1_property(entry.sha1), other});
  return testing::write_entry(spec, 5);
}

testing::ImageSpec base_image(Random& random, const BenchImageOptions& options, bool later) {
  testing::ImageSpec image;
  image.version = 5;
  std::string hosts = "# hosts\r\n";
  for (std::size_t line = 0; line < options.hosts_lines; ++line) {
    // A few lines change between the two images.
    const bool changed = later && random.chance(10);
    hosts += "10." + std::to_string(line / 65536 % 256) + "." + std::to_string(line / 256 % 256) +
             "." + std::to_string(line % 256) + " host" + std::to_string(line) +
             (changed ? ".changed" : "") + ".example\r\n";
  }
  image.hosts = testing::bytes_of(hosts);
  image.hosts.push_back(0);
  for (std::size_t index = 0; index < options.applications; ++index) {
    const bool changed = later && random.chance(10);
    const std::string digits = std::to_string(index);
    const std::u16string key =
        u"{APP-" + std::u16string(digits.begin(), digits.end()) + (changed ? u"-v2}" : u"}");
    image.apps.push_back(testing::app(key, u"Application " + key));
  }
  return image;
}

constexpr std::array<std::pair<Shape, const char*>, 9> SHAPE_NAMES = {{
    {Shape::applications, "applications"},
    {Shape::hosts, "hosts"},
    {Shape::reported, "reported"},
    {Shape::entry_collisions, "entry-collisions"},
    {Shape::entry_ordinary, "entry-ordinary"},
    {Shape::hosts_collisions, "hosts-collisions"},
    {Shape::hosts_ordinary, "hosts-ordinary"},
    {Shape::application_collisions, "application-collisions"},
    {Shape::application_ordinary, "application-ordinary"},
}};

constexpr std::u16string_view CRAFTED_DIRECTORY = u"C:\\Users\\ann\\AppData\\Local\\Temp";

// Both images of a pair hold the same keys but for every hundredth, which only the new one
// has, so tables are built, searched and reported from on both sides.
template <typename Key, typename Add>
void fill_pair(const std::vector<Key>& keys, Add add, testing::ImageSpec& old_image,
               testing::ImageSpec& new_image) {
  for (std::size_t index = 0; index < keys.size(); ++index) {
    if (index % 100 != 99) {
      add(old_image, keys[index]);
    }
    add(new_image, keys[index]);
  }
}

}  // namespace

const char* shape_name(Shape shape) {
  for (const auto& [known, name] : SHAPE_NAMES) {
    if (known == shape) {
      return name;
    }
  }
  return nullptr;
}

bool shape_from_name(std::string_view name, Shape& shape) {
  for (const auto& [known, known_name] : SHAPE_NAMES) {
    if (name == known_name) {
      shape = known;
      return true;
    }
  }
  return false;
}

std::pair<Bytes, Bytes> make_shape(Shape shape, std::size_t count) {
  testing::ImageSpec old_image;
  testing::ImageSpec new_image;
  old_image.version = new_image.version = 5;
  old_image.hosts = new_image.hosts = {0};
  const auto add_app = [](testing::ImageSpec& image, const std::u16string& key) {
    testing::AppSpec app;
    app.texts = {testing::utf16le(key), {}, testing::utf16le(key.substr(0, 4)), {}, {}};
    image.apps.push_back(std::move(app));
  };
  const auto add_line = [](testing::ImageSpec& image, const std::string& line) {
    image.hosts.pop_back();
    image.hosts.insert(image.hosts.end(), line.begin(), line.end());
    image.hosts.push_back('\n');
    image.hosts.push_back(0);
  };
  const auto add_entry = [](testing::ImageSpec& image, const std::u16string& name) {
    // Status bits on every entry, autorun on some, so every pass looks each one up.
    const std::uint32_t flags = 0x20 | (name[0] % 8 == 0 ? AUTORUN_BIT : 0);
    image.entries.push_back(testing::entry(CRAFTED_DIRECTORY, name, flags));
  };
  switch (shape) {
    case Shape::applications:
    case Shape::application_collisions:
    case Shape::application_ordinary:
      fill_pair(application_keys(count, shape == Shape::application_collisions), add_app,
                old_image, new_image);
      break;
    case Shape::hosts:
    case Shape::hosts_collisions:
    case Shape::hosts_ordinary:
      fill_pair(hosts_lines(count, shape == Shape::hosts_collisions), add_line, old_image,
                new_image);
      break;
    case Shape::entry_collisions:
    case Shape::entry_ordinary:
      fill_pair(entry_names(count, CRAFTED_DIRECTORY, shape == Shape::entry_collisions),
                add_entry, old_image, new_image);
      break;
    case Shape::reported: {
      Random random(7);
      for (std::size_t index = 0; index < count; ++index) {
        Entry entry = random_entry(random);
        testing::EntrySpec spec = testing::entry(entry.directory, entry.name, entry.flags_a);
        old_image.entries.push_back(spec);
        new_image.entries.push_back(spec);
      }
      break;
    }
  }
  return {testing::write_image(old_image), testing::write_image(new_image)};
}

std::string make_rules(std::size_t count) {
  // The entries of the `reported` shape come from this seed: a quarter of the rules name one of
  // them exactly, so rules do match; half are folders with a wildcard after them, most of
  // which match nothing; a few start with a wildcard and are tried on every item.
  Random entries(7);
  Random choices(11);
  std::string rules = "# generated exclusion rules\n";
  for (std::size_t index = 0; index < count; ++index) {
    const std::size_t kind = choices.below(100);
    if (kind < 25) {
      const Entry entry = random_entry(entries);
      rules += utf8(entry.directory + u"\\" + entry.name) + "\n";
    } else if (kind < 75) {
      rules += utf8(random_directory(choices)) + "\\*\n";
    } else if (kind < 95) {
      rules += "file\t" + utf8(random_directory(choices)) + "\\*" +
               utf8(EXTENSIONS[choices.below(EXTENSIONS.size())]) + "\n";
    } else if (kind < 99) {
      rules += "hosts\t10." + std::to_string(choices.below(256)) + ".*\n";
    } else {
      rules += "*\\" + utf8(WORDS[choices.below(WORDS.size())]) + "\\*.tmp\n";
    }
  }
  return rules;
}

std::pair<Bytes, Bytes> make_bench_images(const BenchImageOptions& options) {
  Random random(options.seed);
  Bytes old_section;
  Bytes new_section;
  for (std::size_t index = 0; index < options.entries; ++index) {
    Entry entry = random_entry(random);
    const std::size_t fate = random.below(1000);
    if (fate < 3) {  // removed later
      const Bytes bytes = entry_bytes(entry);
      old_section.insert(old_section.end(), bytes.begin(), bytes.end());
      continue;
    }
    if (fate < 6) {  // added later
      const Bytes bytes = entry_bytes(entry);
      new_section.insert(new_section.end(), bytes.begin(), bytes.end());
      continue;
    }
    const Bytes before = entry_bytes(entry);
    old_section.insert(old_section.end(), before.begin(), before.end());
    if (fate < 8 && !entry.sha1.empty()) {
      entry.sha1 = random_sha1(random);
    } else if (fate < 10) {
      entry.flags_a ^= 0x40;
    }
    // The inspection tool writes drive letters in either case.
    if (random.chance(100)) {
      entry.directory[0] = static_cast<char16_t>(entry.directory[0] ^ 0x20);
    }
    const Bytes after = entry_bytes(entry);
    new_section.insert(new_section.end(), after.begin(), after.end());
  }
  testing::ImageSpec old_image = base_image(random, options, false);
  testing::ImageSpec new_image = base_image(random, options, true);
  old_image.entry_tail = std::move(old_section);
  new_image.entry_tail = std::move(new_section);
  return {testing::write_image(old_image), testing::write_image(new_image)};
}

namespace {

constexpr std::array<std::u16string_view, 12> VENDORS = {
    u"Lindell",    u"Marrowby", u"Quillon",  u"Ashgrove", u"Tessary", u"Brightmoor",
    u"Corvane",    u"Elmstead", u"Fenwick",  u"Halloran", u"Orrin",   u"Velda"};
constexpr std::array<std::u16string_view, 8> AGENTS = {
    u"agent", u"updater", u"helper", u"tray", u"sync", u"monitor", u"launcher", u"service"};
constexpr std::size_t FLEET_AUTORUNS = 24;
constexpr std::size_t FLEET_UPDATES = 40;
constexpr std::size_t FLEET_HOSTS_LINES = 40;
constexpr std::size_t FLEET_APPLICATIONS = 40;

// What an infected host holds: bits of FleetHost's infection mask.
enum Infection : unsigned {
  BAD_AUTORUN_ONE = 1,  // a known-bad autorun added
  BAD_AUTORUN_TWO = 2,  // another one
  TROJAN = 4,           // a system file updated to a known-bad SHA1 value
  CLEANED = 8,          // a known-bad autorun that the old image has and the new one lacks
  ALL_INFECTIONS = 15,
};

std::u16string folded_path(const Entry& entry) {
  std::u16string key = entry.directory + u"\\" + entry.name;
  for (char16_t& unit : key) {
    if (unit >= u'A' && unit <= u'Z') {
      unit = static_cast<char16_t>(unit + 0x20);
    }
  }
  return key;
}

std::string path_of(const Entry& entry) { return utf8(entry.directory + u"\\" + entry.name); }

// A random entry with an upper-case drive letter whose path is in neither set; it joins `taken`.
Entry unique_entry(Random& random, std::unordered_set<std::u16string>& taken,
                   const std::unordered_set<std::u16string>& fleet_taken) {
  for (;;) {
    Entry entry = random_entry(random);
    entry.directory[0] = static_cast<char16_t>(entry.directory[0] & 0xDF);
    std::u16string key = folded_path(entry);
    if (!fleet_taken.contains(key) && taken.insert(std::move(key)).second) {
      return entry;
    }
  }
}

Entry autorun_entry(std::u16string directory, std::u16string name, Random& random) {
  return Entry{std::move(directory), std::move(name), random_sha1(random), 0x20 | AUTORUN_BIT, 0};
}

std::u16string upper_case(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'z') {
      unit = static_cast<char16_t>(unit - 0x20);
    }
  }
  return text;
}

void append(Bytes& to, const Bytes& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

}  // namespace

struct Fleet::Pools {
  struct Update {
    std::size_t shared_index;
    std::size_t per_thousand;  // the share of hosts that get it
    std::vector<std::u16string> versions;
  };
  struct Autorun {
    Entry entry;
    std::size_t per_thousand;
  };

  FleetOptions options;
  std::unordered_set<std::u16string> taken;  // folded paths of every fleet-wide entry
  std::vector<Entry> shared;                 // on every host
  std::vector<Bytes> shared_bytes;
  std::vector<Update> updates;
  std::vector<Autorun> autoruns;
  std::array<Entry, 3> bad;  // two autoruns to add and one to clean up
  std::size_t trojan_index = 0;
  std::u16string trojan_sha1;
  std::vector<std::u16string> decoys;  // listed as known bad, found nowhere
  std::vector<unsigned> infections;    // per host

  void make_pools(Random& random);
  void make_shared(Random& random);
  void pick_updates(Random& random);
  void infect(Random& random);
  void add_own_entries(Random& random, FleetHost& host, Bytes& old_section,
                       Bytes& new_section) const;
};

void Fleet::Pools::make_pools(Random& random) {
  // Popularity falls by a quarter from one pool autorun to the next: 90% of hosts get the
  // first, 0.1% the last.
  std::size_t per_thousand = 900;
  for (std::size_t index = 0; index < FLEET_AUTORUNS; ++index) {
    std::u16string directory = u"C:\\Program Files\\" + std::u16string(VENDORS[index % 12]);
    if (index >= 12) {
      directory += u"\\" + std::u16string(WORDS[random.below(WORDS.size())]);
    }
    const std::u16string name = std::u16string(AGENTS[random.below(AGENTS.size())]) +
                                (index >= 12 ? u"64" : u"") + u".exe";
    autoruns.push_back({autorun_entry(directory, name, random), std::max<std::size_t>(
                                                                    per_thousand, 1)});
    per_thousand = per_thousand * 3 / 4;
  }
  bad = {autorun_entry(u"C:\\Users\\Public\\Libraries", u"svchost32.exe", random),
         autorun_entry(u"C:\\ProgramData\\Tessary Update", u"tray host.exe", random),
         autorun_entry(u"C:\\ProgramData\\Update", u"wupd.exe", random)};
  for (const auto& autorun : autoruns) {
    taken.insert(folded_path(autorun.entry));
  }
  for (const Entry& entry : bad) {
    taken.insert(folded_path(entry));
  }
  for (int decoy = 0; decoy < 4; ++decoy) {
    decoys.push_back(random_sha1(random));
  }
}

void Fleet::Pools::make_shared(Random& random) {
  const std::size_t count = options.entries * 3 / 4;
  std::unordered_set<std::u16string> none;
  for (std::size_t index = 0; index < count; ++index) {
    shared.push_back(unique_entry(random, taken, none));
    shared_bytes.push_back(entry_bytes(shared.back()));
  }
}

void Fleet::Pools::pick_updates(Random& random) {
  // Updated files are system files with a SHA1 value; the first reaches 95% of hosts, each
  // next one a fifth fewer, and each has one to three new versions.
  std::vector<std::size_t> candidates;
  for (std::size_t index = 0; index < shared.size(); ++index) {
    if (!shared[index].sha1.empty()) {
      candidates.push_back(index);
    }
  }
  for (std::size_t index = candidates.size(); index > 1; --index) {
    std::swap(candidates[index - 1], candidates[random.below(index)]);
  }
  if (candidates.empty()) {
    return;
  }
  trojan_index = candidates.back();
  trojan_sha1 = random_sha1(random);
  candidates.pop_back();
  std::size_t per_thousand = 950;
  for (std::size_t index = 0; index < std::min(FLEET_UPDATES, candidates.size()); ++index) {
    Update update{candidates[index], std::max<std::size_t>(per_thousand, 1), {}};
    for (std::size_t version = 0; version <= index % 3; ++version) {
      update.versions.push_back(random_sha1(random));
    }
    updates.push_back(std::move(update));
    per_thousand = per_thousand * 4 / 5;
  }
}

void Fleet::Pools::infect(Random& random) {
  // One host in a hundred, and at least two, each with one or two kinds of infection.
  infections.assign(options.hosts, 0);
  const std::size_t count = std::min(options.hosts, std::max<std::size_t>(2, options.hosts / 100));
  for (std::size_t infected = 0; infected < count;) {
    unsigned& mask = infections[random.below(options.hosts)];
    if (mask != 0) {
      continue;
    }
    mask = 1U << random.below(4);
    if (random.chance(333)) {
      mask |= 1U << random.below(4);
    }
    if (trojan_sha1.empty()) {
      mask &= ~static_cast<unsigned>(TROJAN);
    }
    infected += mask != 0 ? 1 : 0;
  }
}

// The host's own entries, of which a few are added, removed, updated or re-flagged.
void Fleet::Pools::add_own_entries(Random& random, FleetHost& host, Bytes& old_section,
                                   Bytes& new_section) const {
  std::unordered_set<std::u16string> own;
  const std::size_t count = options.entries - shared.size();
  for (std::size_t index = 0; index < count; ++index) {
    Entry entry = unique_entry(random, own, taken);
    const std::size_t fate = random.below(1000);
    if (fate < 3) {
      append(old_section, entry_bytes(entry));
      continue;
    }
    if (fate < 6) {
      append(new_section, entry_bytes(entry));
      if ((entry.flags_a & AUTORUN_BIT) != 0) {
        host.changes.autoruns_added.push_back(path_of(entry));
      }
      continue;
    }
    append(old_section, entry_bytes(entry));
    if (fate < 8 && !entry.sha1.empty()) {
      entry.sha1 = random_sha1(random);
      host.changes.modified.push_back(path_of(entry));
    } else if (fate < 10) {
      entry.flags_a ^= 0x40;
    }
    append(new_section, entry_bytes(entry));
  }
}

Fleet::Fleet(const FleetOptions& options) : pools_(std::make_unique<Pools>()) {
  Pools& pools = *pools_;
  pools.options = options;
  Random random(options.seed);
  pools.make_pools(random);
  pools.make_shared(random);
  pools.pick_updates(random);
  pools.infect(random);
}

Fleet::~Fleet() = default;

std::size_t Fleet::hosts() const { return pools_->options.hosts; }

FleetHost Fleet::host(std::size_t index) const {
  const Pools& pools = *pools_;
  Random random(pools.options.seed ^ (0xD1B54A32D192ED03ULL * (index + 1)));
  FleetHost host;
  const std::string number = std::to_string(index + 1);
  host.name = "host-" + std::string(number.size() < 4 ? 4 - number.size() : 0, '0') + number;
  const unsigned infection = pools.infections[index];
  std::vector<const std::u16string*> updated(pools.shared.size(), nullptr);
  for (const auto& update : pools.updates) {
    if (random.chance(update.per_thousand)) {
      updated[update.shared_index] = &update.versions[random.below(update.versions.size())];
    }
  }
  if ((infection & TROJAN) != 0) {
    updated[pools.trojan_index] = &pools.trojan_sha1;
  }
  Bytes old_section;
  Bytes new_section;
  for (std::size_t shared = 0; shared < pools.shared.size(); ++shared) {
    append(old_section, pools.shared_bytes[shared]);
    if (updated[shared] == nullptr) {
      append(new_section, pools.shared_bytes[shared]);
      continue;
    }
    Entry entry = pools.shared[shared];
    entry.sha1 = *updated[shared];
    append(new_section, entry_bytes(entry));
    host.changes.modified.push_back(path_of(entry));
  }
  pools.add_own_entries(random, host, old_section, new_section);
  for (const auto& autorun : pools.autoruns) {
    if (random.chance(autorun.per_thousand)) {
      append(new_section, entry_bytes(autorun.entry));
      host.changes.autoruns_added.push_back(path_of(autorun.entry));
    }
  }
  for (std::size_t bad = 0; bad < 2; ++bad) {
    if ((infection & (bad == 0 ? BAD_AUTORUN_ONE : BAD_AUTORUN_TWO)) != 0) {
      append(new_section, entry_bytes(pools.bad[bad]));
      host.changes.autoruns_added.push_back(path_of(pools.bad[bad]));
    }
  }
  if ((infection & CLEANED) != 0) {
    append(old_section, entry_bytes(pools.bad[2]));
  }
  host.changes.known_bad_records =
      static_cast<std::size_t>(std::popcount(infection & ALL_INFECTIONS));
  const BenchImageOptions lists{.hosts_lines = FLEET_HOSTS_LINES,
                                .applications = FLEET_APPLICATIONS};
  testing::ImageSpec old_image = base_image(random, lists, false);
  testing::ImageSpec new_image = base_image(random, lists, true);
  old_image.entry_tail = std::move(old_section);
  new_image.entry_tail = std::move(new_section);
  host.old_image = testing::write_image(old_image);
  host.new_image = testing::write_image(new_image);
  return host;
}

std::string Fleet::known_bad_list() const {
  const Pools& pools = *pools_;
  std::string list = "# Known-bad SHA-1 values of the generated fleet, in either case\n";
  list += utf8(pools.bad[0].sha1) + "\n" + utf8(upper_case(pools.bad[1].sha1)) + "\n" +
          utf8(pools.bad[2].sha1) + "\n";
  if (!pools.trojan_sha1.empty()) {
    list += utf8(pools.trojan_sha1) + "\n";
  }
  for (const auto& decoy : pools.decoys) {
    list += utf8(decoy) + "\n";
  }
  return list;
}

}  // namespace tarvel::bench
