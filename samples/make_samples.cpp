// Writes the sample image pair into the directory named on the command line.
#include <fstream>
#include <iostream>

#include "support/image_writer.h"
#include "support/sample_images.h"

namespace {

bool write(const std::string& path, const tarvel::testing::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_samples DIRECTORY\n";
    return 2;
  }
  const std::string directory = argv[1];
  using tarvel::testing::write_image;
  if (!write(directory + "/old.img", write_image(tarvel::testing::sample_old_image())) ||
      !write(directory + "/new.img", write_image(tarvel::testing::sample_new_image()))) {
    std::cerr << "make_samples: cannot write into " << directory << "\n";
    return 1;
  }
  return 0;
}
