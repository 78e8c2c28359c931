// SelectionSet: the distinct point indices a sampler has chosen, kept in the order first chosen.
// Members come back in insertion order and nothing else: seeded results must repeat exactly.
#include "utils/sample_measures/selection_set.h"

#include <utility>

#include "base/panic.h"

namespace vorn {

SelectionSet::SelectionSet(std::size_t n) : n_(n), bits_(n / 64 + 1, 0) {}

bool SelectionSet::insert(std::uint64_t index) {
  if (index >= n_) throw Panic("selection index out of range");
  std::uint64_t& word = bits_[index / 64];
  const std::uint64_t bit = std::uint64_t(1) << (index % 64);
  if (word & bit) return false;
  word |= bit;
  members_.push_back(index);
  return true;
}

bool SelectionSet::contains(std::uint64_t index) const {
  return index < n_ && (bits_[index / 64] >> (index % 64) & 1) != 0;
}

Indices SelectionSet::take() {
  for (std::uint64_t index : members_) bits_[index / 64] = 0;
  return std::move(members_);
}

}  // namespace vorn
