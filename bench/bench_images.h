// Generated image pairs for benchmarks: ordinary machines, extreme shapes and rules files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

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

}  // namespace tarvel::bench
