// SHA-1 values known to be good and known to be bad, and what they make of a reported item.
#include "app/known_hashes.h"

namespace tarvel {

namespace {

bool in_set(const HashSet& set, const ReportItem& item, bool of_old) {
  if (set.size() == 0) {
    return false;
  }
  // Most values are kept packed, as the set keeps them; only the others are read as text.
  if (const PackedSha1* packed = item.packed_sha1(of_old)) {
    return set.contains(*packed);
  }
  const std::optional<std::u16string> sha1 = item.sha1(of_old);
  return sha1 && set.contains_hex(*sha1);
}

}  // namespace

bool KnownHashes::known_good(const ReportItem& item) const {
  const ReportList& kind = item.kind();
  const bool judged = kind.change == Change::modified ||
                      (kind.section == Section::autorun && kind.change == Change::added);
  return judged && in_set(good, item, false);
}

KnownBad KnownHashes::known_bad(const ReportItem& item) const {
  const bool old_value = in_set(bad, item, true);
  const bool new_value = in_set(bad, item, false);
  if (old_value && new_value) {
    return KnownBad::both;
  }
  return old_value ? KnownBad::old_value : new_value ? KnownBad::new_value : KnownBad::none;
}

}  // namespace tarvel
