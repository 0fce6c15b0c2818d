// Writes a benchmark image pair: make_bench_images ENTRIES DIRECTORY [HOSTS_LINES APPLICATIONS],
// one of the extreme shapes: make_bench_images --shape NAME COUNT DIRECTORY, or a rules file:
// make_bench_images --rules COUNT FILE, or a fleet: make_bench_images --fleet HOSTS ENTRIES DIRECTORY
#include <algorithm>
#include <charconv>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "bench_images.h"

namespace {

bool parse_count(const char* text, std::size_t& out) {
  const std::string_view view(text);
  return std::from_chars(view.data(), view.data() + view.size(), out).ec == std::errc{};
}

// make_bench_images --shape NAME COUNT DIRECTORY writes DIRECTORY/NAME-COUNT-old.img and -new.img.
int write_shape(int argc, char** argv) {
  tarvel::bench::Shape shape{};
  std::size_t count = 0;
  if (argc != 5 || !tarvel::bench::shape_from_name(argv[2], shape) || !parse_count(argv[3], count)) {
    std::cerr << "usage: make_bench_images --shape NAME COUNT DIRECTORY\n";
    return 2;
  }
  const auto [old_image, new_image] = tarvel::bench::make_shape(shape, count);
  const std::string stem = std::string(argv[4]) + "/" + argv[2] + "-" + argv[3];
  using tarvel::testing::write_file;
  if (!write_file(stem + "-old.img", old_image) || !write_file(stem + "-new.img", new_image)) {
    std::cerr << "make_bench_images: cannot write into " << argv[4] << "\n";
    return 1;
  }
  std::cout << stem << "-old.img " << old_image.size() << " bytes\n"
            << stem << "-new.img " << new_image.size() << " bytes\n";
  return 0;
}

// make_bench_images --rules COUNT FILE writes a rules file of COUNT rules.
int write_rules(int argc, char** argv) {
  std::size_t count = 0;
  if (argc != 4 || !parse_count(argv[2], count)) {
    std::cerr << "usage: make_bench_images --rules COUNT FILE\n";
    return 2;
  }
  const std::string rules = tarvel::bench::make_rules(count);
  if (!tarvel::testing::write_file(argv[3], tarvel::testing::bytes_of(rules))) {
    std::cerr << "make_bench_images: cannot write " << argv[3] << "\n";
    return 1;
  }
  return 0;
}

using Tally = std::map<std::string, std::size_t>;

// A tally as tab-separated lines under a header, by count (most first), then by the bytes of
// the text, as SQLite's ORDER BY count DESC, text sorts them.
std::string tally_lines(const std::string& header, const Tally& tally) {
  std::vector<std::pair<std::string, std::size_t>> rows(tally.begin(), tally.end());
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string lines = header + "\n";
  for (const auto& [text, count] : rows) {
    lines += text + "\t" + std::to_string(count) + "\n";
  }
  return lines;
}

std::string by_text(const std::string& header, const Tally& tally) {
  std::string lines = header + "\n";
  for (const auto& [text, count] : tally) {
    lines += text + "\t" + std::to_string(count) + "\n";
  }
  return lines;
}

// make_bench_images --fleet HOSTS ENTRIES DIRECTORY writes DIRECTORY/host-NNNN-old.img and
// -new.img for every host, hosts.tsv (host, old image, new image), known-bad.txt, and the
// answers the fleet's three questions should get, from what the generator put in the images:
// expected-new-autoruns.tsv and expected-modified-files.tsv (path, hosts; every one),
// expected-known-bad-hosts.tsv (host, records).
int write_fleet(int argc, char** argv) {
  tarvel::bench::FleetOptions options;
  if (argc != 5 || !parse_count(argv[2], options.hosts) || !parse_count(argv[3], options.entries)) {
    std::cerr << "usage: make_bench_images --fleet HOSTS ENTRIES DIRECTORY\n";
    return 2;
  }
  const std::string directory = argv[4];
  const tarvel::bench::Fleet fleet(options);
  std::string hosts_tsv;
  Tally bad_hosts;
  Tally autoruns;
  Tally modified;
  std::size_t bytes = 0;
  using tarvel::testing::bytes_of;
  using tarvel::testing::write_file;
  for (std::size_t index = 0; index < fleet.hosts(); ++index) {
    const tarvel::bench::FleetHost host = fleet.host(index);
    const std::string stem = directory + "/" + host.name;
    if (!write_file(stem + "-old.img", host.old_image) ||
        !write_file(stem + "-new.img", host.new_image)) {
      std::cerr << "make_bench_images: cannot write into " << directory << "\n";
      return 1;
    }
    bytes += host.old_image.size() + host.new_image.size();
    hosts_tsv += host.name + "\t" + stem + "-old.img\t" + stem + "-new.img\n";
    for (const auto& path : host.changes.autoruns_added) {
      ++autoruns[path];
    }
    for (const auto& path : host.changes.modified) {
      ++modified[path];
    }
    if (host.changes.known_bad_records != 0) {
      bad_hosts[host.name] = host.changes.known_bad_records;
    }
  }
  const std::vector<std::pair<std::string, std::string>> files = {
      {"hosts.tsv", hosts_tsv},
      {"known-bad.txt", fleet.known_bad_list()},
      {"expected-new-autoruns.tsv", tally_lines("path\thosts", autoruns)},
      {"expected-known-bad-hosts.tsv", by_text("host\trecords", bad_hosts)},
      {"expected-modified-files.tsv", tally_lines("path\thosts", modified)}};
  for (const auto& [name, text] : files) {
    if (!write_file(directory + "/" + name, bytes_of(text))) {
      std::cerr << "make_bench_images: cannot write " << directory << "/" << name << "\n";
      return 1;
    }
  }
  std::cout << directory << ": " << fleet.hosts() << " host pairs, " << bytes
            << " bytes; hosts.tsv, known-bad.txt, expected-*.tsv\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--shape") {
    return write_shape(argc, argv);
  }
  if (argc > 1 && std::string_view(argv[1]) == "--rules") {
    return write_rules(argc, argv);
  }
  if (argc > 1 && std::string_view(argv[1]) == "--fleet") {
    return write_fleet(argc, argv);
  }
  tarvel::bench::BenchImageOptions options;
  if ((argc != 3 && argc != 5) || !parse_count(argv[1], options.entries) ||
      (argc == 5 && (!parse_count(argv[3], options.hosts_lines) ||
                     !parse_count(argv[4], options.applications)))) {
    std::cerr << "usage: make_bench_images ENTRIES DIRECTORY [HOSTS_LINES APPLICATIONS]\n";
    return 2;
  }
  const auto [old_image, new_image] = tarvel::bench::make_bench_images(options);
  const std::string stem = std::string(argv[2]) + "/" + std::to_string(options.entries);
  using tarvel::testing::write_file;
  if (!write_file(stem + "-old.img", old_image) || !write_file(stem + "-new.img", new_image)) {
    std::cerr << "make_bench_images: cannot write into " << argv[2] << "\n";
    return 1;
  }
  std::cout << stem << "-old.img " << old_image.size() << " bytes\n"
            << stem << "-new.img " << new_image.size() << " bytes\n";
  return 0;
}
