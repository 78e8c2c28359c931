// Every measure and sampler on fixed clouds, and the inner kernels on literal inputs, compared
// with results recorded on x86-64: a platform, compiler or optimisation that changes one
// rounding or one draw, a regrouped sum, a reversed loop or a reciprocal in place of a division
// fails here. To record anew, VORN_PRINT_RECORDED=1 vorn_tests --gtest_filter='Recorded*'
// prints the tables in source form (one line an entry: clang-format wraps it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "hull/center_cov.h"
#include "hull/convex_hull2.h"
#include "hull/convex_hull3.h"
#include "hull/symmetric_eigen.h"
#include "hull/triangle_area.h"
#include "hull/triangle_facet.h"
#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/sample_centroid_fps.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/sample_centroid_uniform.h"
#include "utils/sample_measures/sample_centroid_voxel.h"
#include "utils/sample_measures/sample_uniform.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/size_measures/determinant.h"
#include "utils/size_measures/size_bbox.h"
#include "utils/size_measures/size_covdet.h"
#include "utils/size_measures/size_dispersion.h"
#include "utils/size_measures/size_hull.h"

namespace {

using vorn::Indices;
using vorn::PointSet;
using vorn::Vec3f;
using vorn_test::bits;
using vorn_test::cloud_of;
using vorn_test::sorted;
using vorn_test::uniform_cloud;
using vorn_test::Words;

// Vectors go into the digest coordinate by coordinate.
struct Digest : vorn_test::Digest {
  using vorn_test::Digest::add;
  Digest& add(Vec3f v) {
    vorn_test::Digest::add(v.x).add(v.y).add(v.z);
    return *this;
  }
};

struct Cloud {
  const char* name;
  PointSet points;
  bool hull;  // a hull the 2-d and 3-d constructions build soundly
};

std::vector<Cloud> clouds() {
  // The eight corners of [0, 2]^3, a corner repeated, and random interior points.
  const auto cube = [](auto i, auto k, Words& w) {
    return i < 8 ? double((i >> k & 1) * 2) : i == 8 ? 2.0 : 0.1 + 1.8 * w.unit();
  };
  // A 7 x 7 integer grid, each point twice: every centroid, distance and cost comparison can tie.
  const auto grid = [](auto i, auto k, Words&) { return double(k ? i / 14 : i / 2 % 7); };
  // A 4 x 4 x 4 lattice with each coordinate moved 0, 1 or 2 ulps up: near ties everywhere.
  const auto ulps = [](auto i, auto k, Words& w) {
    double x = 0.1 * double(i >> 2 * k & 3);
    for (std::uint64_t u = w.next() % 3; u > 0; --u) x = std::nextafter(x, 1.0);
    return x;
  };
  // A dense cluster inside one unit voxel and five isolated points, each alone in its voxel.
  const auto cluster = [](auto i, auto k, Words& w) {
    return i < 31 ? 0.25 + 0.5 * w.unit() : double(3 * (i - 30) + k) + 0.5 * w.unit();
  };
  // Widely differing axis scales: the blocked distance sums and the large scatter-matrix path.
  const auto wide = [](auto, auto k, Words& w) {
    return std::ldexp(w.symmetric(), int(k % 5) * 7 - 14);
  };
  return {{"random2", uniform_cloud(200, 2, 1, 3.0), true},
          {"random3", uniform_cloud(60, 3, 2, 1.0), true},
          {"cube3", cloud_of(30, 3, 5, cube), true},
          {"grid2", cloud_of(98, 2, 0, grid), false},
          {"ulp3", cloud_of(64, 3, 11, ulps), false},
          {"cluster3", cloud_of(36, 3, 23, cluster), false},
          {"random5", uniform_cloud(30, 5, 3, 1e3), false},
          {"wide6", cloud_of(7, 6, 31, wide), false},
          {"wide12", cloud_of(80, 12, 31, wide), false},
          {"big3", uniform_cloud(1500, 3, 4, 1.0), false}};
}

// Appends "label value" to a line of results.
void put(std::string& line, const std::string& label, const std::string& value) {
  line += (line.empty() ? "" : " ") + label + " " + value;
}

std::string hex(std::uint64_t u) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(u));
  return buf;
}

std::string list(Indices v) {
  std::string s;
  for (std::uint64_t i : v) s += (s.empty() ? "" : ",") + std::to_string(i);
  return s;
}

// A hundred small clouds of every size, dimension and scale, some on an integer grid full of
// ties, folded into one digest per function: a regrouped sum that changes one cloud in a
// hundred still shows. Hulls only of random clouds, which every hull construction builds soundly.
std::string hundred_cloud_digests() {
  std::map<std::string, Digest> digests;
  for (std::uint64_t seed = 0; seed < 100; ++seed) {
    const bool ties = seed % 5 == 0;
    const std::size_t n = 4 + seed * 7 % 57, d = 1 + seed % 9;
    const PointSet p = cloud_of(n, d, seed + 1000, [&](auto, auto, Words& w) {
      return ties ? std::floor(3.0 * w.symmetric()) : std::ldexp(w.symmetric(), int(seed % 9) - 4);
    });
    digests["bbox"].add(vorn::size_bbox(p));
    digests["covdet"].add(vorn::size_covdet(p));
    digests["dispersion"].add(vorn::size_dispersion(p));
    digests["uniform"].add(vorn::sample_uniform(p, seed % 13, seed));
    digests["centroid_uniform"].add(sorted(vorn::sample_centroid_uniform(p, seed % 13, seed)));
    digests["fps"].add(vorn::sample_centroid_fps(p, seed % 13, seed));
    digests["kmedoids"].add(vorn::sample_centroid_kmedoids(p, seed % 7, seed, 50));
    digests["stratified"].add(
        sorted(vorn::sample_centroid_stratified(p, seed % 13, seed, 1 + seed % 5, seed % 6)));
    if (!ties) {
      // From two points up: three points in 3-d are exactly at the "too few points" edge.
      const PointSet q = uniform_cloud(2 + seed * 7 % 57, 2 + seed % 2, seed + 2000, 1.0);
      digests["hull"].add(vorn::size_hull(q));
    }
  }
  std::string s;
  for (const auto& [name, digest] : digests) put(s, name, hex(digest.h));
  return s;
}

// Cloud -> its results as labelled text: a double's bit pattern, or an index list.
std::map<std::string, std::string> measures_and_samplers() {
  std::map<std::string, std::string> out;
  out["hundred clouds"] = hundred_cloud_digests();
  for (const Cloud& c : clouds()) {
    const PointSet& p = c.points;
    std::string& s = out[c.name];
    if (p.n <= 200) {
      put(s, "bbox", hex(bits(vorn::size_bbox(p))));
      put(s, "covdet", hex(bits(vorn::size_covdet(p))));
      put(s, "dispersion", hex(bits(vorn::size_dispersion(p))));
      put(s, "centroid_uniform", list(sorted(vorn::sample_centroid_uniform(p, 8, 3))));
      put(s, "stratified", list(sorted(vorn::sample_centroid_stratified(p, 12, 5, 4, 10))));
    }
    if (c.hull) put(s, "hull", hex(bits(vorn::size_hull(p))));
    if (p.n <= 100) put(s, "kmedoids", list(vorn::sample_centroid_kmedoids(p, 6, 1, 100)));
    put(s, "fps", list(vorn::sample_centroid_fps(p, p.n <= 200 ? 12 : 48, 0)));
  }
  const std::vector<Cloud> all = clouds();
  const PointSet &random2 = all[0].points, &big3 = all[9].points, &cluster3 = all[5].points;
  put(out["random2"], "uniform", list(vorn::sample_uniform(random2, 12, 9)));
  put(out["big3"], "uniform", list(vorn::sample_uniform(big3, 40, ~std::uint64_t(0))));
  // Voxel sets are fixed by the arguments when every voxel is visited and at most one holds
  // more than one point: the order the voxels are visited in then draws nothing different.
  put(out["cluster3"], "voxel", list(sorted(vorn::sample_centroid_voxel(cluster3, 14, 8, 1.0))));
  put(out["random2"], "voxel_one_cell",
      list(sorted(vorn::sample_centroid_voxel(random2, 10, 2, 1e9))));
  return out;
}

// Coordinates of mixed magnitude and sign from an integer recurrence: the same on every platform.
std::vector<double> mixed(std::size_t count, std::uint32_t seed) {
  std::vector<double> v(count);
  for (double& x : v) {
    seed = seed * 1664525u + 1013904223u;
    const double scale[3] = {-1e3, 1.0, 7e-4};
    x = static_cast<double>(seed >> 8) * 0x1p-24 * scale[seed % 3];
  }
  return v;
}

PointSet mixed_cloud(std::size_t n, std::size_t d, std::uint32_t seed) {
  PointSet p(n, d);
  const std::vector<double> c = mixed(n * d, seed);
  std::copy(c.begin(), c.end(), p.coords.begin());
  return p;
}

// Inner kernels on literal inputs chosen so that every rounding shows (inexact 1/n, terms of
// mixed magnitude, cancellations, ties), each result folded into a digest.
std::map<std::string, std::string> kernels() {
  std::map<std::string, std::string> out;
  // 400 symmetric matrices of mixed magnitude (7e-4 to 1e3) and sign, a fifth of their entries
  // zeros of either sign.
  const std::vector<double> entries = mixed(6 * 400, 9);
  Digest eigen;
  for (std::size_t k = 0; k < 400; ++k) {
    const auto e = [&](std::size_t j) {
      return float(entries[6 * k + j]) * ((k + j) % 5 ? 1.0f : 0.0f);
    };
    vorn::Mat3f a;
    a(0, 0) = e(0), a(1, 1) = e(1), a(2, 2) = e(2);
    a(1, 0) = a(0, 1) = e(3), a(2, 0) = a(0, 2) = e(4), a(2, 1) = a(1, 2) = e(5);
    const vorn::SymmetricEigen r = vorn::symmetric_eigen(a);
    for (float v : r.eigenvalues) eigen.add(v);
    for (float v : r.eigenvectors.m) eigen.add(v);
  }
  out["symmetric_eigen/400 generated"] = hex(eigen.h);
  Digest tri;
  const float sides[] = {0.1f, 0.2f, 0.25f, 1.0f, 1.0f, 1.9999f, 1e-3f, 1.0f,
                         1.0f, 7.3f, 2.9f,  5.1f, 3e4f, 0.7f,    3e4f};
  for (int i = 0; i < 15; i += 3)
    tri.add(vorn::triangle_area(sides[i], sides[i + 1], sides[i + 2]));
  out["triangle_area/five triangles"] = hex(tri.h);

  const PointSet seven = mixed_cloud(7, 3, 1);
  std::vector<Vec3f> cov_points;
  for (std::size_t i = 0; i < 7; ++i)
    cov_points.push_back({float(seven[i][0]), float(seven[i][1]), float(seven[i][2])});
  const vorn::CenterCov cc = vorn::center_cov(cov_points);
  Digest cov = Digest().add(cc.center);
  for (float v : cc.covariance.m) cov.add(v);
  out["center_cov/7 points"] = hex(cov.h);

  // 1 + 2^-24 rounds to 1 first, so the cancelling sum is exactly 0.
  const Vec3f tiny{1.0f, 0x1p-24f, -1.0f};
  out["dot/cancelling"] = hex(Digest().add(vorn::dot(tiny, {1.0f, 1.0f, 1.0f})).h);
  // The normal (-1, -1, 3 * 2^-13): its squares sum to a different length in any other grouping.
  const std::vector<Vec3f> facet_points = {{0, 0, 0}, {1.0f, -1.0f, 0}, {0, 0x3p-13f, 1.0f}};
  out["make_facet/nearly unit normals"] =
      hex(Digest().add(vorn::make_facet(facet_points, 0, 1, 2).normal).h);

  out["determinant/5 x 5"] = hex(Digest().add(vorn::determinant(mixed(25, 2), 5)).h);
  out["compute_centroid/49 points"] =
      hex(Digest().add(vorn::compute_centroid(mixed_cloud(49, 3, 3))[1]).h);
  out["size_dispersion/d 3, n 13"] =
      hex(Digest().add(vorn::size_dispersion(mixed_cloud(13, 3, 4))).h);
  out["size_dispersion/d 9, n 11"] =
      hex(Digest().add(vorn::size_dispersion(mixed_cloud(11, 9, 5))).h);

  // Three shapes full of equal eigenvalues, equal start areas and coplanar points.
  std::vector<Vec3f> cube = {{0.5f, 0.5f, 0.5f}}, lattice;
  const std::vector<Vec3f> octahedron = {{1, 0, 0},  {0, 1, 0},  {0, 0, 1},
                                         {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
  for (int i = 0; i < 8; ++i) cube.push_back({float(i & 1), float(i >> 1 & 1), float(i >> 2)});
  for (int i = 0; i < 27; ++i) lattice.push_back({float(i % 3), float(i / 3 % 3), float(i / 9)});
  for (const auto& [name, points] : std::map<std::string, std::vector<Vec3f>>{
           {"cube and centre", cube}, {"octahedron", octahedron}, {"3 x 3 x 3 lattice", lattice}}) {
    const auto mesh = vorn::try_convex_hull(points);
    Digest h;
    if (mesh) {
      for (const Vec3f& p : mesh->points) h.add(p);
      for (const auto& t : mesh->triangles)
        h.add(std::uint64_t(t[0])).add(std::uint64_t(t[1])).add(std::uint64_t(t[2]));
    }
    out["try_convex_hull/" + name] = hex(h.h);
  }

  vorn::SeededRng rng = vorn::SeededRng::seed_from_u64(7);
  Digest draws;
  for (int i = 0; i < 64; ++i) draws.add(rng.random_range(std::uint64_t(1) << 31));
  out["random_range/2^31, seed 7"] = hex(draws.h);
  // Bounds whose second word is drawn never, rarely, half the time and nearly always, in both
  // widths; each generator serves every bound, so a word too many or too few shows too.
  Digest ranges;
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    vorn::SeededRng r = vorn::SeededRng::seed_from_u64(seed);
    for (std::uint64_t bound :
         {3ull, 479001600ull, 0x80000001ull, 0xFFFFFFFFull, 1ull << 32, ~0ull})
      ranges.add(r.random_range(bound));
  }
  out["random_range/six bounds, 40 seeds"] = hex(ranges.h);
  return out;
}

const std::map<std::string, std::string> kRecordedResults = {
    {"big3",
     "fps "
     "498,1024,330,791,525,970,33,958,1214,1029,1294,231,552,350,1097,1460,505,751,308,723,123,12,"
     "733,517,1250,630,1089,348,414,1169,1486,1369,1394,1262,1180,1441,766,943,722,1334,873,1492,"
     "1391,1107,1228,668,730,21 uniform "
     "1036,538,629,610,476,1437,817,161,1450,565,772,946,640,127,1477,970,322,1045,255,403,924,580,"
     "244,436,367,860,965,1447,155,866,1156,129,15,861,928,1189,691,1337,209,335"},
    {"cluster3",
     "bbox 40aff1ff20d75d6a covdet 3fcc8f4e7f6f7654 dispersion 40125b5c7959a702 centroid_uniform "
     "5,10,11,12,16,18,19,31 stratified 0,4,14,18,23,24,27,28,30,31,34 kmedoids 18,34,35,31,33,32 "
     "fps 18,35,32,31,34,33,21,22,0,7,29,13 voxel 0,1,12,14,18,20,21,22,28,31,32,33,34,35"},
    {"cube3",
     "bbox 4020000000000000 covdet 3fd6bafc1c3b34cf dispersion 3ffa0003e01fd1c0 centroid_uniform "
     "0,5,10,11,12,16,19,23 stratified 8,9,10,13,15,19,20,22,23,24,27,28 hull 401fffffc0000000 "
     "kmedoids 23,15,27,18,16,7 fps 23,3,2,8,6,1,0,5,4,11,9,13"},
    {"grid2",
     "bbox 4042000000000000 covdet 40102a3a10819267 dispersion 400d2c64b09c32ad centroid_uniform "
     "10,31,48,60,65,66,76,89 stratified 5,25,30,32,48,52,54,60,70,71,76,81 kmedoids "
     "48,72,22,16,80,40 fps 48,97,85,13,1,91,55,43,7,81,75,65"},
    {"hundred clouds",
     "bbox b3e2f8e530c15fb9 centroid_uniform 825cdb9e35120144 covdet 9c183df1339bce4b dispersion "
     "2b8c394f9fe14b26 fps ac84b2ca32a2b9c3 hull e21bc9af49e4d91d kmedoids f382a10f977e9a4c "
     "stratified bce6c14414523502 uniform e767c16db908ab14"},
    {"random2",
     "bbox 4041b3b3088cafd2 covdet 400730087a9258ac dispersion 4008ad43447ea08e centroid_uniform "
     "10,130,137,139,155,157,171,191 stratified 11,20,38,57,78,88,107,170,177,179,191,197 hull "
     "4040f40f00000000 fps 191,175,103,125,33,177,141,102,61,60,95,32 uniform "
     "75,91,124,17,33,141,55,42,15,176,44,9 voxel_one_cell 54,98,111,116,143,159,171,188,191,193"},
    {"random3",
     "bbox 401b3155ad02ceda covdet 3fc5e89ee2a10b4c dispersion 3ff49e3ffdec9d79 centroid_uniform "
     "10,11,16,19,31,43,55,56 stratified 0,1,2,5,12,13,33,36,47,50,56 hull 40124f5840000000 "
     "kmedoids 56,34,58,57,25,50 fps 56,32,23,55,29,54,51,52,39,44,19,14"},
    {"random5",
     "bbox 4355c7b90cbdffe5 covdet 42c5f049bacada9a dispersion 409ad4047e7c074d centroid_uniform "
     "0,5,10,11,12,16,19,26 stratified 5,8,10,15,17,18,19,20,22,23,26,27 kmedoids 10,11,16,25,8,22 "
     "fps 10,24,27,1,5,15,29,21,14,26,9,18"},
    {"ulp3",
     "bbox 3f9ba5e353f7cee5 covdet 3f5771d79b703e00 dispersion 3fd0a970dbe2cc89 centroid_uniform "
     "10,11,19,31,37,43,55,60 stratified 5,8,10,21,27,37,41,43,45,55,57,61 kmedoids "
     "37,43,18,10,4,44 fps 37,15,63,12,3,51,60,0,48,26,45,39"},
    {"wide12",
     "bbox 3f58a567be203cca covdet 3e491db7abd216e1 dispersion 40d031327e6337c4 centroid_uniform "
     "10,31,39,43,60,65,66,76 stratified 4,10,11,13,16,26,35,39,52,54,60,73 kmedoids "
     "39,4,76,73,58,8 fps 39,14,41,56,60,35,20,27,34,59,63,67"},
    {"wide6",
     "bbox 3f34596c53c685fa covdet 3ed42012d4537cf4 dispersion 40ca5ef854f9bd7d centroid_uniform "
     "0,1,2,3,4,5,6 stratified 0,1,2,3,4,5,6 kmedoids 0,4,5,6,3,1 fps 0,3,4,6,1,5,2"},
};

const std::map<std::string, std::string> kRecordedKernels = {
    {"center_cov/7 points", "0246aa119424b677"},
    {"compute_centroid/49 points", "9ba8dfd8982f3184"},
    {"determinant/5 x 5", "1be0b533f72a07db"},
    {"dot/cancelling", "a8c7f832281a39c5"},
    {"make_facet/nearly unit normals", "b9f6fef9c6883132"},
    {"random_range/2^31, seed 7", "875717dda226482f"},
    {"random_range/six bounds, 40 seeds", "311beece0aa5b32d"},
    {"size_dispersion/d 3, n 13", "17c9c22502143356"},
    {"size_dispersion/d 9, n 11", "81e6a3396119b67a"},
    {"symmetric_eigen/400 generated", "1b1afd84277ace72"},
    {"triangle_area/five triangles", "bba1e57687544809"},
    {"try_convex_hull/3 x 3 x 3 lattice", "a9eddfe4d6e792e6"},
    {"try_convex_hull/cube and centre", "aff5ffdeaa177d41"},
    {"try_convex_hull/octahedron", "e76906588599cf25"},
};

// Compares results with their recorded table; with VORN_PRINT_RECORDED set, prints the results
// as the table's source instead.
void expect_recorded(std::map<std::string, std::string> got,
                     const std::map<std::string, std::string>& recorded) {
  if (std::getenv("VORN_PRINT_RECORDED") != nullptr) {
    for (const auto& [name, value] : got)
      std::printf("    {\"%s\", \"%s\"},\n", name.c_str(), value.c_str());
    GTEST_SKIP() << "printed the table instead of comparing it";
  }
  EXPECT_EQ(got.size(), recorded.size());
  for (const auto& [name, value] : recorded) EXPECT_EQ(got[name], value) << name;
}

TEST(RecordedBits, EveryMeasureAndSamplerGivesTheRecordedResult) {
  expect_recorded(measures_and_samplers(), kRecordedResults);
}

TEST(RecordedKernels, EveryKernelGivesTheRecordedBits) {
  expect_recorded(kernels(), kRecordedKernels);
}

}  // namespace
