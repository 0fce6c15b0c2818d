// SHA-1 values known to be good and known to be bad, and what they make of a reported item.
#pragma once

#include "app/hash_set.h"
#include "report/report_items.h"

namespace tarvel {

struct KnownHashes {
  HashSet good;
  HashSet bad;

  // Whether an item is left out for a SHA1 value known to be good: a modified file whose new
  // value is, or an added autorun whose value is.
  bool known_good(const ReportItem& item) const;
  // Which of an item's SHA1 values, the old entry's and the new one's, are known to be bad.
  KnownBad known_bad(const ReportItem& item) const;
};

}  // namespace tarvel
