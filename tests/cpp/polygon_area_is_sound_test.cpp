#include "hull/polygon_area_is_sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "hull/polygon_area.h"

namespace {

using vorn::ConvexPolygon;
using vorn::Vec2f;

bool sound(const std::vector<Vec2f>& loop, float area_scale) {
  const std::optional<ConvexPolygon> polygon = ConvexPolygon::from_convex_polyline(loop);
  return polygon &&
         vorn::polygon_area_is_sound(loop, *polygon, vorn::polygon_area(*polygon) * area_scale);
}

std::vector<Vec2f> circle(int m, float r) {
  std::vector<Vec2f> loop;
  for (int k = 0; k < m; ++k) {
    const double t = 6.283185307179586 * k / m;
    loop.push_back({float(r * std::cos(t)), float(r * std::sin(t))});
  }
  return loop;
}

TEST(PolygonAreaIsSound, Cases) {
  const std::vector<Vec2f> square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_TRUE(sound(square, 1.0f));
  EXPECT_TRUE(sound(circle(60, 1.0f), 1.0f)) << "6-degree turns: no vertex dropped";
  EXPECT_FALSE(sound(circle(720, 1.0f), 1.0f)) << "half-degree turns: the drops chain";
  EXPECT_FALSE(sound(circle(60, 1e-3f), 1.0f)) << "the visibility band is wide for this size";
  EXPECT_FALSE(sound(square, 1.0f + 0x1.0p-16f)) << "a float sum that drifted";
}

}  // namespace
