// Indices grouped by a label in one counting sort: every group keeps ascending index order.
// Samplers read their groups' members in this order, so the sort must stay stable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn {

// labels: n values, each below groups. Fills start (groups + 1 offsets) and members (n indices)
// so that group g holds members[start[g] .. start[g + 1]) in ascending order. Never fails but
// for std::bad_alloc.
template <class Index, class Label>
void group_by_label(const std::vector<Label>& labels, std::size_t groups,
                    std::vector<std::uint64_t>& start, std::vector<Index>& members) {
  const std::size_t n = labels.size();
  start.assign(groups + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++start[labels[i] + 1];
  for (std::size_t g = 0; g < groups; ++g) start[g + 1] += start[g];
  members.resize(n);
  std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
  for (std::size_t i = 0; i < n; ++i) members[next[labels[i]]++] = static_cast<Index>(i);
}

}  // namespace vorn
