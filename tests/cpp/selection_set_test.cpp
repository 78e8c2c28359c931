#include "utils/sample_measures/selection_set.h"

#include <gtest/gtest.h>

#include "utils/panic.h"

TEST(SelectionSet, KeepsFirstInsertionOrderIgnoresRepeatsAndRejectsOutOfRange) {
  vorn::SelectionSet set(200);
  for (std::uint64_t i : {130u, 7u, 64u, 7u, 63u, 130u, 0u, 199u}) set.insert(i);
  EXPECT_FALSE(set.insert(64));
  EXPECT_FALSE(set.contains(65));
  EXPECT_THROW(set.insert(200), vorn::Panic);
  EXPECT_EQ(set.take(), (vorn::Indices{130, 7, 64, 63, 0, 199}));
  EXPECT_TRUE(set.insert(130));  // take() leaves an empty set
}
