// Single-precision vectors and the 3 x 3 matrix that the hull code computes with.
// Every helper here rounds each operation on its own in the order written: hull results are
// compared bit for bit.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "base/strict_float.h"

namespace vorn {

struct Vec2f {
  float x = 0.0f;
  float y = 0.0f;
};

struct Vec3f {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

// 3 x 3 matrix stored column by column: entry (r, c) is m[3 * c + r].
struct Mat3f {
  std::array<float, 9> m{};

  float& operator()(int r, int c) { return m[3 * c + r]; }
  float operator()(int r, int c) const { return m[3 * c + r]; }
  Vec3f column(int c) const { return {m[3 * c], m[3 * c + 1], m[3 * c + 2]}; }
  static Mat3f identity() {
    Mat3f a;
    a(0, 0) = a(1, 1) = a(2, 2) = 1.0f;
    return a;
  }
};

// The float with the given IEEE 754 bit pattern; thresholds are built this way so no
// decimal literal can round them differently.
inline float float_from_bits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Single-precision machine epsilon 2^-23 (bits 0x34000000).
inline float float_epsilon() {
  return float_from_bits(0x34000000u);
}
// The most negative finite float, -3.4028235e38 (bits 0xFF7FFFFF): the start of every support
// search.
inline float lowest_float() {
  return float_from_bits(0xFF7FFFFFu);
}

// x rounded to the nearest float, and to an infinity beyond the largest one: a double above
// the float range is not left to the conversion, whose result C++ leaves undefined there.
inline float round_to_float(double x) {
  // Halfway between the largest float and 2^128, which rounds to even: up.
  if (x >= 0x1.ffffffp127) return float_from_bits(0x7F800000u);
  if (x <= -0x1.ffffffp127) return float_from_bits(0xFF800000u);
  return static_cast<float>(x);
}

inline Vec2f operator-(Vec2f a, Vec2f b) {
  return {a.x - b.x, a.y - b.y};
}
inline Vec3f operator-(Vec3f a, Vec3f b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3f operator-(Vec3f a) {
  return {-a.x, -a.y, -a.z};
}

// a.x * b.x + a.y * b.y.
inline float dot(Vec2f a, Vec2f b) {
  return a.x * b.x + a.y * b.y;
}
// (a.x * b.x + a.y * b.y) + a.z * b.z: the grouping every three-dimensional dot product uses.
inline float dot(Vec3f a, Vec3f b) {
  return (a.x * b.x + a.y * b.y) + a.z * b.z;
}
// (a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x).
inline Vec3f cross(Vec3f a, Vec3f b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Exact equality of every coordinate (so -0.0 equals +0.0 and NaN equals nothing).
inline bool operator==(Vec2f a, Vec2f b) {
  return a.x == b.x && a.y == b.y;
}
inline bool operator==(Vec3f a, Vec3f b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

}  // namespace vorn
