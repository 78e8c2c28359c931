// SelectionSet: the distinct point indices a sampler has chosen, kept in the order first chosen.
// Members come back in insertion order and nothing else: seeded results must repeat exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/point_set.h"

namespace vorn {

class SelectionSet {
 public:
  // Holds indices below n: one membership bit per point beside the ordered member list.
  // Throws std::bad_alloc when the n bits cannot be held.
  explicit SelectionSet(std::size_t n);

  // Adds index unless present; returns true if it was newly inserted. Throws
  // Panic("selection index out of range") for an index >= n.
  bool insert(std::uint64_t index);

  // False for any index >= n.
  bool contains(std::uint64_t index) const;

  // Number of distinct indices held.
  std::size_t size() const { return members_.size(); }

  // The members in the order they were first inserted.
  const Indices& members() const { return members_; }

  // Moves the members out (insertion order); the set is empty afterwards.
  Indices take();

 private:
  std::size_t n_;
  std::vector<std::uint64_t> bits_;
  Indices members_;
};

}  // namespace vorn
