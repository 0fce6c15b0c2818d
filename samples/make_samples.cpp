// Writes the sample image pair into the directory named on the command line.
#include <iostream>

#include "testing/image_writer.h"
#include "testing/sample_images.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_samples DIRECTORY\n";
    return 2;
  }
  const std::string directory = argv[1];
  using namespace tarvel::testing;
  if (!write_file(directory + "/old.img", write_image(sample_old_image())) ||
      !write_file(directory + "/new.img", write_image(sample_new_image()))) {
    std::cerr << "make_samples: cannot write into " << directory << "\n";
    return 1;
  }
  return 0;
}
