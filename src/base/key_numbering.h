// Numbers filed under keys: open addressing with linear probing over a power-of-two table kept
// at most half full. Only looked up, never iterated: its layout never decides an order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn {

// Key: a value with ==; Hash: a functor giving a key's 64-bit hash, whose low bits pick the
// slot where probing starts. The caller hands out the numbers (usually in order of first
// occurrence) and may keep more of each key by number, checked through find_or_add's `same`.
template <class Key, class Hash>
class KeyNumbering {
 public:
  static constexpr std::uint64_t kNew = ~std::uint64_t(0);

  // A table for about `expected` keys without growing: at least 16 slots, a power of two, and
  // at least twice `expected`. Throws std::bad_alloc only.
  explicit KeyNumbering(std::size_t expected) {
    std::size_t slots = 16;
    while (slots < 2 * expected) slots *= 2;
    slots_.assign(slots, Slot{Key{}, kNew});
    mask_ = slots - 1;
  }

  // The number filed under a key equal to `key` for which same(number) holds; when there is
  // none, files `fresh` under `key` and returns kNew. Throws std::bad_alloc only.
  template <class Same>
  std::uint64_t find_or_add(const Key& key, std::uint64_t fresh, Same same) {
    std::size_t s = static_cast<std::size_t>(Hash()(key)) & mask_;
    for (; slots_[s].number != kNew; s = (s + 1) & mask_) {
      if (slots_[s].key == key && same(slots_[s].number)) return slots_[s].number;
    }
    slots_[s] = {key, fresh};
    if (2 * ++filed_ > slots_.size()) grow();
    return kNew;
  }

  std::uint64_t find_or_add(const Key& key, std::uint64_t fresh) {
    return find_or_add(key, fresh, [](std::uint64_t) { return true; });
  }

 private:
  struct Slot {
    Key key;
    std::uint64_t number;  // kNew: empty
  };

  void grow() {
    std::vector<Slot> old(2 * slots_.size(), Slot{Key{}, kNew});
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.number == kNew) continue;
      std::size_t s = static_cast<std::size_t>(Hash()(slot.key)) & mask_;
      while (slots_[s].number != kNew) s = (s + 1) & mask_;
      slots_[s] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t filed_ = 0;
};

}  // namespace vorn
