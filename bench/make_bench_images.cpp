// Writes a benchmark image pair: make_bench_images ENTRIES DIRECTORY [HOSTS_LINES APPLICATIONS]
#include <charconv>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_images.h"

namespace {

bool parse_count(const char* text, std::size_t& out) {
  const std::string_view view(text);
  return std::from_chars(view.data(), view.data() + view.size(), out).ec == std::errc{};
}

bool write(const std::string& path, const tarvel::testing::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  tarvel::bench::BenchImageOptions options;
  if ((argc != 3 && argc != 5) || !parse_count(argv[1], options.entries) ||
      (argc == 5 && (!parse_count(argv[3], options.hosts_lines) ||
                     !parse_count(argv[4], options.applications)))) {
    std::cerr << "usage: make_bench_images ENTRIES DIRECTORY [HOSTS_LINES APPLICATIONS]\n";
    return 2;
  }
  const auto [old_image, new_image] = tarvel::bench::make_bench_images(options);
  const std::string stem = std::string(argv[2]) + "/" + std::to_string(options.entries);
  if (!write(stem + "-old.img", old_image) || !write(stem + "-new.img", new_image)) {
    std::cerr << "make_bench_images: cannot write into " << argv[2] << "\n";
    return 1;
  }
  std::cout << stem << "-old.img " << old_image.size() << " bytes\n"
            << stem << "-new.img " << new_image.size() << " bytes\n";
  return 0;
}
