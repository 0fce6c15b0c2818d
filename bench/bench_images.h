// Generated image pairs for benchmarks: ordinary machines, extreme shapes and rules files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "testing/image_writer.h"

namespace tarvel::bench {

struct BenchImageOptions {
  std::size_t entries = 100000;
  std::size_t hosts_lines = 1000;
  std::size_t applications = 1000;
  std::uint64_t seed = 1;
};

// A pair of realistic version 5 images of one machine, the second a little later than the first:
// about 1% of entries added, removed, re-hashed or re-flagged. The same options give the same
// bytes on every platform.
std::pair<testing::Bytes, testing::Bytes> make_bench_images(const BenchImageOptions& options);

// Image pairs of one extreme kind each, for the time and memory bounds. `count` is the number
// of entries, applications or hosts lines; crafted shapes have an ordinary twin of the same
// size whose keys collide nowhere.
enum class Shape {
  applications,       // applications only, short texts
  hosts,              // distinct short hosts lines only
  reported,           // entries that all have status and no SHA1: every one is reported
  entry_collisions,   // entry keys crafted against the former entry index hash
  entry_ordinary,
  hosts_collisions,   // hosts lines crafted against std::hash
  hosts_ordinary,
  application_collisions,  // application keys crafted against std::hash
  application_ordinary,
};

// The shape's name on the command line, or null for an unknown one.
const char* shape_name(Shape shape);
bool shape_from_name(std::string_view name, Shape& shape);

std::pair<testing::Bytes, testing::Bytes> make_shape(Shape shape, std::size_t count);

// A rules file for tarvel-diff --exclude-from with `count` rules: exact paths of entries of the
// `reported` shape, folders with a wildcard, file rules by extension, hosts rules, and a few
// that start with a wildcard.
std::string make_rules(std::size_t count);

// A fleet of hosts, each with an image pair of about `entries` entries. Most entries are the
// same on every host (one operating system build); between the two images every host adds some
// autoruns from a fleet-wide pool (a few popular, most rare), has files updated to new SHA1
// values from a pool (a few updates reach most hosts), and changes a few of its own entries. A
// few hosts hold entries whose SHA1 values the fleet's known-bad list names. All paths use
// upper-case drive letters and are unique within an image, so every listed path is the
// generator's own spelling.
struct FleetOptions {
  std::size_t hosts = 20;
  std::size_t entries = 2000;
  std::uint64_t seed = 1;
};

// What tarvel-diff reports for one host's pair, as the generator made it: paths in UTF-8.
struct FleetHostChanges {
  std::vector<std::string> autoruns_added;  // section autorun, change added
  std::vector<std::string> modified;        // section file, change modified
  std::size_t known_bad_records = 0;        // records whose old or new SHA1 is known bad
};

struct FleetHost {
  std::string name;  // host-0001, host-0002, ...
  testing::Bytes old_image;
  testing::Bytes new_image;
  FleetHostChanges changes;
};

class Fleet {
 public:
  explicit Fleet(const FleetOptions& options);
  Fleet(const Fleet&) = delete;
  Fleet& operator=(const Fleet&) = delete;
  ~Fleet();

  std::size_t hosts() const;
  // Host `index` (from 0); the same options give the same bytes on every platform.
  FleetHost host(std::size_t index) const;
  // The known-bad list: a comment line, then one SHA-1 a line, one of them in upper case.
  std::string known_bad_list() const;

 private:
  struct Pools;
  std::unique_ptr<Pools> pools_;
};

}  // namespace tarvel::bench
