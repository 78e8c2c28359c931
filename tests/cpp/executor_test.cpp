#include "base/executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "test_support.h"

TEST(Executor, RangesCoverEveryIndexOnceForEveryThreadCount) {
  for (std::size_t threads : {1, 2, 3, 8}) {
    vorn::Executor executor(threads, vorn::CancelHook{});
    std::vector<int> hits(1003, 0);
    std::atomic<std::size_t> widest{0};
    executor.for_ranges(hits.size(), 10, [&](std::size_t begin, std::size_t end) {
      EXPECT_EQ(begin % 10, 0u);
      widest = std::max<std::size_t>(widest, end - begin);
      for (std::size_t i = begin; i < end; ++i) ++hits[i];
    });
    EXPECT_EQ(std::vector<int>(hits.size(), 1), hits) << threads << " threads";
    EXPECT_EQ(widest.load(), 10u);
  }
}

TEST(Executor, NestedLoopsRunOnOneThreadOnAPoolWorker) {
  vorn::Executor outer(4, vorn::CancelHook{});
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<int> on_workers{0};
  std::mutex mutex;
  std::vector<std::pair<bool, std::size_t>> nested;  // (on the caller, threads of the inner loop)
  outer.for_ranges(8, 1, [&](std::size_t, std::size_t) {
    const bool on_caller = std::this_thread::get_id() == caller;
    if (on_caller) {  // wait for a worker to take a range, so that both kinds nest
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (on_workers.load() == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    } else {
      ++on_workers;
    }
    vorn::Executor inner(4, vorn::CancelHook{});
    std::lock_guard<std::mutex> lock(mutex);
    nested.emplace_back(on_caller, inner.threads());
  });
  ASSERT_GT(on_workers.load(), 0);
  for (const auto& [on_caller, threads] : nested) EXPECT_EQ(threads, on_caller ? 4u : 1u);
}

TEST(Executor, FirstFailureIsRethrownAfterEveryRangeStopped) {
  vorn::Executor executor(3, vorn::CancelHook{});
  std::atomic<int> ran{0};
  EXPECT_THROW(executor.for_ranges(100, 1,
                                   [&](std::size_t begin, std::size_t) {
                                     ++ran;
                                     if (begin == 5) throw std::runtime_error("range 5");
                                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                   }),
               std::runtime_error);
  EXPECT_LT(ran.load(), 100);
  // The pool is usable afterwards.
  std::atomic<int> after{0};
  executor.for_ranges(10, 1, [&](std::size_t, std::size_t) { ++after; });
  EXPECT_EQ(after.load(), 10);
}

TEST(Executor, WorkersSeeAStopAskedWhileTheCallerWaits) {
  // The hook says stop on its second question, so that a loop is cut off in the middle.
  std::atomic<int> questions{0};
  const auto twice = [](void* asked) { return ++*static_cast<std::atomic<int>*>(asked) >= 2; };
  vorn::Executor executor(2, vorn::CancelHook{twice, &questions});
  std::atomic<bool> worker_ran{false};
  EXPECT_THROW(executor.for_ranges(2, 1,
                                   [&](std::size_t begin, std::size_t) {
                                     // Range 1 runs until the stop reaches it through poll().
                                     if (begin == 0) return;
                                     worker_ran = true;
                                     for (;;) executor.poll();
                                   }),
               vorn::Panic);
  EXPECT_TRUE(worker_ran.load());
}

TEST(Executor, BlocksRunInOrderAndAStopEndsThemBetweenBlocks) {
  std::atomic<int> questions{0};
  const auto third = [](void* asked) { return ++*static_cast<std::atomic<int>*>(asked) >= 3; };
  vorn::Executor executor(2, vorn::CancelHook{third, &questions});
  std::vector<std::size_t> starts;
  const auto record = [&](std::size_t begin, std::size_t end) {
    starts.push_back(begin);
    EXPECT_LE(end - begin, 4u);
    std::this_thread::sleep_for(vorn::Executor::kPollPeriod);  // let the hook be asked again
  };
  EXPECT_THROW(executor.for_each_block(40, 4, record), vorn::Panic);
  ASSERT_GE(starts.size(), 1u);
  EXPECT_LT(starts.size(), 10u);
  for (std::size_t b = 0; b < starts.size(); ++b) EXPECT_EQ(starts[b], 4 * b);
}

TEST(ThreadSetting, CountsAreTakenAsWrittenAndAnythingElseIsRefused) {
  struct Case {
    const char* text;
    std::size_t threads;  // 0: refused
  };
  const Case cases[] = {
      {"3", 3},   {"08", 8},     {"256", 256},
      {"-1", 6},  {"", 0},       {"0", 0},
      {"-2", 0},  {"abc", 0},    {"4x", 0},
      {"2.5", 0}, {" 4", 0},     {"+4", 0},
      {"257", 0}, {"100000", 0}, {"18446744073709551617", 0}};  // 2^64 + 1: no wrap-around to 1
  for (const Case& c : cases) EXPECT_EQ(vorn::parse_thread_setting(c.text, 6), c.threads) << c.text;
}
