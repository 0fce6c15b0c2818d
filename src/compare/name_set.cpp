#include "compare/name_set.h"

namespace tarvel {

void NameSet::insert(std::u16string_view text) {
  folding_->fold(text, folded_);
  members_.try_emplace(folded_, text);
}

}  // namespace tarvel
