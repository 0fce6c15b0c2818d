// A file read twice, the second reading held to the bytes of the first.
#include "app/reread_check.h"

#include "image/sha256.h"

namespace tarvel {

namespace {

std::array<std::uint8_t, 32> digest_of(std::span<const std::uint8_t> bytes) {
  Sha256 sha;
  sha.update(bytes);
  return sha.finish();
}

}  // namespace

bool RereadCheck::rewind() {
  second_ = true;
  next_ = 0;
  return file_.rewind();
}

std::ptrdiff_t RereadCheck::read(std::span<std::uint8_t> into) {
  if (changed_) {
    return -1;
  }
  if (!second_) {
    const std::ptrdiff_t count = file_.read(into);
    const std::size_t got = count > 0 ? static_cast<std::size_t>(count) : 0;
    reads_.push_back({count, digest_of(into.first(got))});
    return count;
  }
  // The n-th read of the second reading is the twin of the n-th of the first: it delivers the
  // same count, reading again where the system hands over less at once, so the caller asks for
  // the same sizes in the same order as the first time.
  if (next_ >= reads_.size() || static_cast<std::ptrdiff_t>(into.size()) < reads_[next_].count) {
    changed_ = true;
    return -1;
  }
  const Read& twin = reads_[next_];
  std::size_t got = 0;
  if (twin.count < 0) {
    changed_ = true;  // a first reading that failed ends the run before any second one
  } else if (twin.count == 0) {
    // The first reading met the end here; so must the second.
    changed_ = file_.read(into) != 0;
  } else {
    const auto wanted = static_cast<std::size_t>(twin.count);
    while (got < wanted) {
      const std::ptrdiff_t count = file_.read(into.subspan(got, wanted - got));
      if (count <= 0) {
        break;
      }
      got += static_cast<std::size_t>(count);
    }
    changed_ = got != wanted || twin.digest != digest_of(into.first(got));
  }
  if (changed_) {
    return -1;
  }
  ++next_;
  return twin.count;
}

}  // namespace tarvel
