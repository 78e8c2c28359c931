// Executor: how a computation runs: on how many threads, and how it learns that its caller
// wants it to stop. Only independent pieces run in parallel: results never depend on threads().
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>

namespace vorn {

// Asked now and then, on the thread that made the Executor only; returns true when the
// computation should stop. It may take a while (it may wait for a lock), so it is rate-limited.
struct CancelHook {
  bool (*should_stop)(void* context) = nullptr;
  void* context = nullptr;
};

class Executor {
 public:
  // One thread, never stopped: for tests and plain C++ callers.
  Executor() = default;
  // threads: how many threads a parallel loop may use, the calling thread included (0 means 1).
  // A call made on a worker of the pool runs on one thread, so nested use cannot oversubscribe.
  Executor(std::size_t threads, CancelHook hook);
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;

  std::size_t threads() const { return threads_; }

  // Throws Panic::interrupted() once the caller has asked to stop. Cheap: call it at least every
  // few milliseconds of work, from any thread; the hook itself is asked at most every kPollPeriod.
  void poll() const;

  // Calls body(begin, end) once for each range [c * grain, min(n, (c + 1) * grain)) and returns
  // when all have run. Ranges run on up to threads() threads in any order: each must write only
  // its own outputs. The ranges depend on n and grain only, never on the thread count. Polls
  // between ranges. The first exception a body throws stops the remaining ranges and is rethrown
  // here once every running body has returned.
  template <class Body>
  void for_ranges(std::size_t n, std::size_t grain, const Body& body) const {
    if (n == 0) return;
    grain = std::max<std::size_t>(grain, 1);
    const std::size_t ranges = (n - 1) / grain + 1;
    const auto run_range = [](const void* task, std::size_t c) {
      const auto& t = *static_cast<const Task<Body>*>(task);
      const std::size_t begin = c * t.grain;
      (*t.body)(begin, std::min(t.n, begin + t.grain));
    };
    const Task<Body> task{&body, n, grain};
    if (threads_ <= 1 || ranges == 1) {
      for (std::size_t c = 0; c < ranges; ++c) {
        poll();
        run_range(&task, c);
      }
      return;
    }
    run_parallel(ranges, run_range, &task);
  }

  // Calls body(begin, end) for the consecutive blocks [0, block), [block, 2 * block), ... of
  // [0, n), in order, on the calling thread, polling before each: a sequential loop (a sum in a
  // fixed order, say) that a stop can still reach.
  template <class Body>
  void for_each_block(std::size_t n, std::size_t block, const Body& body) const {
    block = std::max<std::size_t>(block, 1);
    for (std::size_t begin = 0; begin < n; begin += std::min(block, n - begin)) {
      poll();
      body(begin, std::min(n, begin + block));
    }
  }

  // A two-stage pipeline over steps 0 .. steps - 1: produce(s, piece), for piece < pieces(s),
  // makes the independent parts of step s, and consume(s) then takes step s whole. Round t
  // runs consume(t - 1) beside the pieces of step t (as for_ranges does its ranges), so the
  // consume calls follow one another in step order and each sees its step complete: a fixed-
  // order sum stays one sequential chain while the terms of the next step are computed. The
  // caller keeps two steps' outputs, step s in buffer s % 2. Polls as for_ranges does.
  template <class Pieces, class Produce, class Consume>
  void pipeline(std::size_t steps, const Pieces& pieces, const Produce& produce,
                const Consume& consume) const {
    for (std::size_t t = 0; t <= steps; ++t) {
      const std::size_t made = t < steps ? pieces(t) : 0;
      for_ranges(1 + made, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r) {
          if (r > 0) {
            produce(t, r - 1);
          } else if (t > 0) {
            consume(t - 1);
          }
        }
      });
    }
  }

  static constexpr std::chrono::milliseconds kPollPeriod{20};

 private:
  template <class Body>
  struct Task {
    const Body* body;
    std::size_t n, grain;
  };

  void run_parallel(std::size_t ranges, void (*run_range)(const void*, std::size_t),
                    const void* task) const;
  // Asks the hook when kPollPeriod has passed since it was last asked; true when it said stop.
  bool ask_hook() const;

  std::size_t threads_ = 1;
  CancelHook hook_;
  std::thread::id owner_ = std::this_thread::get_id();
  mutable std::atomic<bool> stopped_{false};
  mutable std::chrono::steady_clock::time_point last_asked_ = std::chrono::steady_clock::now();
};

// Polls an executor once every `period` steps, for loops whose steps are too short to poll
// each (an incremental construction adding one point at a time, say).
class PollPacer {
 public:
  PollPacer(const Executor& executor, std::size_t period)
      : executor_(executor), period_(std::max<std::size_t>(period, 1)) {}
  void step() {
    if (++count_ == period_) {
      count_ = 0;
      executor_.poll();
    }
  }

 private:
  const Executor& executor_;
  std::size_t period_;
  std::size_t count_ = 0;
};

// The most threads one Executor uses.
constexpr std::size_t kMaxThreads = 256;

// The thread count a new Executor gets by default: set_default_threads(), else the environment
// variable VORN_NUM_THREADS, else the number of hardware threads. A count set for the current
// thread (set_thread_threads, 0 to clear) takes precedence over the process-wide one.
std::size_t default_threads();

// Reads a VORN_NUM_THREADS text: a count from 1 to kMaxThreads, exactly as written (more than
// the hardware has only when asked for), or -1 for every hardware thread. Returns 0 for anything
// else (not one decimal integer, 0, another negative count, a count beyond kMaxThreads): the
// caller then keeps the default.
std::size_t parse_thread_setting(const char* text, std::size_t hardware_threads);

// Once per process: the VORN_NUM_THREADS text that default_threads() refused, for the caller's
// warning. Empty before a refusal and on every later ask.
std::optional<std::string> take_refused_thread_setting();
void set_default_threads(std::size_t threads);
std::size_t thread_threads();
void set_thread_threads(std::size_t threads);

}  // namespace vorn
