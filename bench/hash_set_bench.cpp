// Writes hash set files of random SHA-1 values in both layouts, and loads them as tarvel-diff
// will, for timing against sha256sum reading the same files.
//
//   hash_set_bench write lines|csv COUNT FILE
//   hash_set_bench load FILE...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/hash_set.h"
#include "bench_random.h"
#include "platform/platform.h"

namespace tarvel::bench {
namespace {

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

void append_hex(std::string& out, Random& random, std::size_t bytes) {
  for (std::size_t at = 0; at < bytes; ++at) {
    const std::size_t byte = random.below(256);
    out.push_back(HEX_DIGITS[byte >> 4]);
    out.push_back(HEX_DIGITS[byte & 15]);
  }
}

// One value a line, as sha1sum prints them but lower-case and alone; or the published layout
// of the NSRL: the SHA-1, MD5 and CRC32 values, a file name, its size and three codes, quoted
// as there. One file name in a hundred holds a comma and a doubled quote.
int write_file(const std::string& layout, std::size_t count, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  Random random(count);
  std::string record;
  const bool csv = layout == "csv";
  if (csv) {
    out << "\"SHA-1\",\"MD5\",\"CRC32\",\"FileName\",\"FileSize\",\"ProductCode\","
           "\"OpSystemCode\",\"SpecialCode\"\r\n";
  }
  for (std::size_t line = 0; line < count; ++line) {
    record.clear();
    if (!csv) {
      append_hex(record, random, 20);
      for (char& c : record) {
        c = static_cast<char>(c >= 'A' ? c - 'A' + 'a' : c);
      }
      record.push_back('\n');
    } else {
      record.push_back('"');
      append_hex(record, random, 20);
      record += "\",\"";
      append_hex(record, random, 16);
      record += "\",\"";
      append_hex(record, random, 4);
      record += "\",\"";
      record += "FILE" + std::to_string(random.below(1000000));
      record += random.chance(10) ? ", \"\"copy\"\".DLL" : ".DLL";
      record += "\"," + std::to_string(random.below(10000000)) + "," +
                std::to_string(random.below(200000)) + ",\"WIN\",\"\"\r\n";
    }
    out << record;
  }
  out.close();
  return out ? 0 : 1;
}

int load_files(int count, char** paths) {
  SystemPlatform platform;
  HashSet set;
  const auto start = std::chrono::steady_clock::now();
  for (int at = 0; at < count; ++at) {
    HashSetError error;
    if (!load_hash_set(platform, paths[at], set, error)) {
      std::cerr << paths[at] << ": " << error.text() << "\n";
      return 2;
    }
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::cout << set.size() << " values in " << took.count() << " s\n";
  return 0;
}

}  // namespace
}  // namespace tarvel::bench

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "write" && argc == 5) {
    return tarvel::bench::write_file(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4]);
  }
  if (command == "load" && argc > 2) {
    return tarvel::bench::load_files(argc - 2, argv + 2);
  }
  std::cerr << "usage: hash_set_bench write lines|csv COUNT FILE | load FILE...\n";
  return 2;
}
