// The module's functions, one row each: Python name, input form, and the C++ computation.
// Rows are registered in this order, which is also the order of __all__.
#pragma once

#include <cstddef>
#include <cstdint>
#include <variant>

#include "base/executor.h"
#include "base/point_set.h"
#include "utils/sample_measures/sample_centroid_fps.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/sample_centroid_uniform.h"
#include "utils/sample_measures/sample_centroid_voxel.h"
#include "utils/sample_measures/sample_uniform.h"
#include "utils/size_measures/size_bbox.h"
#include "utils/size_measures/size_covdet.h"
#include "utils/size_measures/size_dispersion.h"
#include "utils/size_measures/size_hull.h"

namespace vorn::py {

enum class Form { Sequence, Numpy };

// The shapes of computation a row can call; each fixes the parameter list (kSignatures).
// Every computation gets the call's Executor last.
using Measure = double (*)(const PointSet&, const Executor&);
using Sampler = Indices (*)(const PointSet&, std::uint64_t count, std::uint64_t seed,
                            const Executor&);
using VoxelSampler = Indices (*)(const PointSet&, std::uint64_t count, std::uint64_t seed,
                                 double voxel_size, const Executor&);
using IterativeSampler = Indices (*)(const PointSet&, std::uint64_t count, std::uint64_t seed,
                                     std::uint64_t max_iterations, const Executor&);
using StratifiedSampler = Indices (*)(const PointSet&, std::uint64_t count, std::uint64_t seed,
                                      std::uint64_t num_strata, std::uint64_t max_iterations,
                                      const Executor&);

// Rows whose computation is linear in the input and never split take no Executor.
template <double (*F)(const PointSet&)>
double unsplit(const PointSet& points, const Executor&) {
  return F(points);
}
template <Indices (*F)(const PointSet&, std::uint64_t, std::uint64_t)>
Indices unsplit(const PointSet& points, std::uint64_t count, std::uint64_t seed, const Executor&) {
  return F(points, count, seed);
}
using Computation =
    std::variant<Measure, Sampler, VoxelSampler, IterativeSampler, StratifiedSampler>;

// Parameter 0 is the points; the others are unsigned integers, except the one at real_index
// (0 when there is none), which is a double.
struct Signature {
  const char* parameters[5];
  std::size_t count;
  std::size_t real_index;
};

// Indexed by the alternative of Computation.
inline constexpr Signature kSignatures[] = {
    {{"points"}, 1, 0},
    {{"points", "count", "seed"}, 3, 0},
    {{"points", "count", "seed", "voxel_size"}, 4, 3},
    {{"points", "count", "seed", "max_iterations"}, 4, 0},
    {{"points", "count", "seed", "num_strata", "max_iterations"}, 5, 0},
};

struct FunctionRow {
  const char* name;
  Form form;
  Computation compute;
};

inline const FunctionRow kFunctions[] = {
    {"bbox_volume", Form::Sequence, Measure{&unsplit<&size_bbox>}},
    {"hull_volume", Form::Sequence, Measure{&size_hull}},
    {"covariance_volume", Form::Sequence, Measure{&size_covdet}},
    {"mean_dispersion", Form::Sequence, Measure{&size_dispersion}},
    {"bbox_volume_numpy", Form::Numpy, Measure{&unsplit<&size_bbox>}},
    {"hull_volume_numpy", Form::Numpy, Measure{&size_hull}},
    {"covariance_volume_numpy", Form::Numpy, Measure{&size_covdet}},
    {"mean_dispersion_numpy", Form::Numpy, Measure{&size_dispersion}},
    {"sample_centroid_uniform", Form::Sequence, Sampler{&unsplit<&sample_centroid_uniform>}},
    {"sample_centroid_fps", Form::Sequence, Sampler{&sample_centroid_fps}},
    {"sample_centroid_kmedoids", Form::Sequence, IterativeSampler{&sample_centroid_kmedoids}},
    {"sample_centroid_voxel", Form::Sequence, VoxelSampler{&sample_centroid_voxel}},
    {"sample_centroid_stratified", Form::Sequence, StratifiedSampler{&sample_centroid_stratified}},
    {"sample_uniform", Form::Sequence, Sampler{&unsplit<&sample_uniform>}},
    {"sample_centroid_uniform_numpy", Form::Numpy, Sampler{&unsplit<&sample_centroid_uniform>}},
    {"sample_centroid_fps_numpy", Form::Numpy, Sampler{&sample_centroid_fps}},
    {"sample_centroid_kmedoids_numpy", Form::Numpy, IterativeSampler{&sample_centroid_kmedoids}},
    {"sample_centroid_voxel_numpy", Form::Numpy, VoxelSampler{&sample_centroid_voxel}},
    {"sample_centroid_stratified_numpy", Form::Numpy,
     StratifiedSampler{&sample_centroid_stratified}},
    {"sample_uniform_numpy", Form::Numpy, Sampler{&unsplit<&sample_uniform>}},
    // Private rows (a leading underscore) serve the package and stay out of __all__.
    {"_covariance_log_volume_numpy", Form::Numpy, Measure{&size_covdet_log}},
};

inline constexpr std::size_t kFunctionCount = sizeof(kFunctions) / sizeof(kFunctions[0]);

}  // namespace vorn::py
