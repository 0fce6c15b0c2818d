// Writes a benchmark image pair: make_bench_images ENTRIES DIRECTORY [HOSTS_LINES APPLICATIONS],
// one of the extreme shapes: make_bench_images --shape NAME COUNT DIRECTORY, or a rules file:
// make_bench_images --rules COUNT FILE
#include <charconv>
#include <iostream>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--shape") {
    return write_shape(argc, argv);
  }
  if (argc > 1 && std::string_view(argv[1]) == "--rules") {
    return write_rules(argc, argv);
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
