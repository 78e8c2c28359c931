#include "utils/sample_measures/selection_set.h"

#include <gtest/gtest.h>

#include "utils/panic.h"

namespace {

TEST(SelectionSet, KeepsFirstInsertionOrderAndIgnoresRepeats) {
  vorn::SelectionSet set(200);
  for (std::uint64_t i : {130u, 7u, 64u, 7u, 63u, 130u, 0u, 199u}) set.insert(i);
  const vorn::Indices expected = {130, 7, 64, 63, 0, 199};
  EXPECT_EQ(set.members(), expected);
  EXPECT_EQ(set.size(), 6u);
  EXPECT_FALSE(set.insert(64));
  EXPECT_TRUE(set.contains(63));
  EXPECT_FALSE(set.contains(65));
  EXPECT_FALSE(set.contains(200));
  EXPECT_EQ(set.take(), expected);
  EXPECT_EQ(set.size(), 0u);
  EXPECT_FALSE(set.contains(130));
  EXPECT_TRUE(set.insert(130));
}

TEST(SelectionSet, IndexBeyondThePointsPanics) {
  vorn::SelectionSet set(64);
  EXPECT_THROW(set.insert(64), vorn::Panic);
}

}  // namespace
