// Generated image pairs for benchmarks: ordinary machines, extreme shapes and rules files.
#include "bench_images.h"

#include "bench_random.h"
#include "colliding_keys.h"

#include <array>
#include <string>
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
  const auto utf8 = [](std::u16string_view text) {
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
  };
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

}  // namespace tarvel::bench
