#include "base/key_numbering.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Every key starts probing at the last slot: each probe wraps round, and every key collides.
struct ConstantHash {
  std::uint64_t operator()(std::uint64_t) const { return ~std::uint64_t(0); }
};

// Numbers survive the table's doublings, however long the probe runs.
TEST(KeyNumbering, CollidingKeysKeepTheirNumbersAcrossGrowth) {
  vorn::KeyNumbering<std::uint64_t, ConstantHash> table(1);
  for (std::uint64_t k = 0; k < 100; ++k) EXPECT_EQ(table.find_or_add(k * 7, k), table.kNew);
  for (std::uint64_t k = 0; k < 100; ++k) EXPECT_EQ(table.find_or_add(k * 7, 999), k) << k;
}

// An equal key that `same` rejects is another key: both numbers stay found.
TEST(KeyNumbering, AKeyThatSameRejectsIsFiledAgain) {
  vorn::KeyNumbering<std::uint64_t, ConstantHash> table(4);
  EXPECT_EQ(table.find_or_add(5, 0), table.kNew);
  EXPECT_EQ(table.find_or_add(5, 1, [](std::uint64_t n) { return n == 1; }), table.kNew);
  EXPECT_EQ(table.find_or_add(5, 2, [](std::uint64_t n) { return n == 1; }), 1u);
  EXPECT_EQ(table.find_or_add(5, 2), 0u);
}

}  // namespace
