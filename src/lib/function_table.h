// The module's functions, one row each: Python name, input form, parameter names and the C++
// computation. Rows are registered in this order, which is also the order of __all__.
#pragma once

#include <cstdint>

#include "base/executor.h"
#include "base/point_set.h"
#include "lib/function_row.h"
#include "utils/sample_measures/medoid_labels.h"
#include "utils/sample_measures/sample_centroid_fps.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/sample_centroid_uniform.h"
#include "utils/sample_measures/sample_centroid_voxel.h"
#include "utils/sample_measures/sample_uniform.h"
#include "utils/sample_measures/strata_labels.h"
#include "utils/size_measures/size_bbox.h"
#include "utils/size_measures/size_covdet.h"
#include "utils/size_measures/size_dispersion.h"
#include "utils/size_measures/size_hull.h"

namespace vorn::py {

// Rows whose computation is linear in the input and never split take no Executor.
template <double (*F)(const PointSet&)>
double unsplit(const PointSet& points, const Executor&) {
  return F(points);
}
template <Indices (*F)(const PointSet&, std::uint64_t, std::uint64_t)>
Indices unsplit(const PointSet& points, std::uint64_t count, std::uint64_t seed, const Executor&) {
  return F(points, count, seed);
}

// The overload of sample_centroid_kmedoids without the record of its work.
inline constexpr Indices (*kKMedoids)(const PointSet&, std::uint64_t, std::uint64_t, std::uint64_t,
                                      const Executor&) = &sample_centroid_kmedoids;

// Every computation takes the point set first and the call's Executor last; the names list
// the parameters in between, in their order.
inline constexpr FunctionRow kFunctions[] = {
    row<&unsplit<&size_bbox>>("bbox_volume", Form::Sequence, {"points"}),
    row<&size_hull>("hull_volume", Form::Sequence, {"points"}),
    row<&size_covdet>("covariance_volume", Form::Sequence, {"points"}),
    row<&size_dispersion>("mean_dispersion", Form::Sequence, {"points"}),
    row<&unsplit<&size_bbox>>("bbox_volume_numpy", Form::Numpy, {"points"}),
    row<&size_hull>("hull_volume_numpy", Form::Numpy, {"points"}),
    row<&size_covdet>("covariance_volume_numpy", Form::Numpy, {"points"}),
    row<&size_dispersion>("mean_dispersion_numpy", Form::Numpy, {"points"}),
    row<&unsplit<&sample_centroid_uniform>>("sample_centroid_uniform", Form::Sequence,
                                            {"points", "count", "seed"}),
    row<&sample_centroid_fps>("sample_centroid_fps", Form::Sequence, {"points", "count", "seed"}),
    row<kKMedoids>("sample_centroid_kmedoids", Form::Sequence,
                   {"points", "count", "seed", "max_iterations"}),
    row<&sample_centroid_voxel>("sample_centroid_voxel", Form::Sequence,
                                {"points", "count", "seed", "voxel_size"}),
    row<&sample_centroid_stratified>("sample_centroid_stratified", Form::Sequence,
                                     {"points", "count", "seed", "num_strata", "max_iterations"}),
    row<&unsplit<&sample_uniform>>("sample_uniform", Form::Sequence, {"points", "count", "seed"}),
    row<&unsplit<&sample_centroid_uniform>>("sample_centroid_uniform_numpy", Form::Numpy,
                                            {"points", "count", "seed"}),
    row<&sample_centroid_fps>("sample_centroid_fps_numpy", Form::Numpy,
                              {"points", "count", "seed"}),
    row<kKMedoids>("sample_centroid_kmedoids_numpy", Form::Numpy,
                   {"points", "count", "seed", "max_iterations"}),
    row<&sample_centroid_voxel>("sample_centroid_voxel_numpy", Form::Numpy,
                                {"points", "count", "seed", "voxel_size"}),
    row<&sample_centroid_stratified>("sample_centroid_stratified_numpy", Form::Numpy,
                                     {"points", "count", "seed", "num_strata", "max_iterations"}),
    row<&unsplit<&sample_uniform>>("sample_uniform_numpy", Form::Numpy,
                                   {"points", "count", "seed"}),
    // Private rows (a leading underscore) serve the package and stay out of __all__.
    row<&size_covdet_log>("_covariance_log_volume_numpy", Form::Numpy, {"points"}),
    row<&sample_centroid_fps_from>("_sample_centroid_fps_from_numpy", Form::Numpy,
                                   {"points", "count", "start"}),
    row<&sample_centroid_kmedoids_labelled>("_sample_centroid_kmedoids_labels_numpy", Form::Numpy,
                                            {"points", "count", "seed", "max_iterations"}),
    row<&sample_centroid_stratified_labelled>(
        "_sample_centroid_stratified_labels_numpy", Form::Numpy,
        {"points", "count", "seed", "num_strata", "max_iterations"}),
};

inline constexpr std::size_t kFunctionCount = sizeof(kFunctions) / sizeof(kFunctions[0]);

}  // namespace vorn::py
