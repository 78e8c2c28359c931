// The process-wide pool behind Executor: worker threads that help callers with their ranges.
// A caller always works on its own ranges too, so a busy pool slows a call but never stalls it.
#include "base/executor.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#endif

#include "base/panic.h"

namespace vorn {

namespace {

// Loops hand out jobs back to back (one per choice of a sampler, say): a thread that runs out of
// work stays awake this long before it sleeps, so the next job finds it without a wake-up.
constexpr std::chrono::microseconds kStayAwake{200};

// Yields until ready() holds or kStayAwake has passed; returns ready().
template <class Ready>
bool stay_awake_until(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kStayAwake;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::yield();
  }
  return true;
}

thread_local bool tls_in_worker = false;
thread_local std::size_t tls_threads = 0;
std::atomic<std::size_t> g_default_threads{0};

// One parallel loop: its ranges are claimed one at a time by the caller and by helpers.
struct Job {
  void (*run_range)(const void*, std::size_t);
  const void* task;
  std::size_t ranges;
  std::size_t max_helpers;
  const Executor* executor;
  std::atomic<bool> failed{false};
  std::atomic<std::size_t> next{0};
  std::size_t helpers = 0;  // guarded by the pool's mutex

  std::mutex mutex;  // guards the members below; taken after the pool's mutex, never before
  std::condition_variable changed;
  std::size_t finished = 0;
  std::size_t active = 0;
  std::exception_ptr error;
  std::atomic<bool> done{false};  // a hint: every range finished and no helper on the job

  void mark_if_done() {  // called with mutex held
    if (finished == ranges && active == 0) {
      done.store(true);
      changed.notify_all();
    }
  }
};

// Claims and runs ranges until none is left. After a failure the remaining ranges are claimed
// and skipped, so that the job completes; a stop reaches running bodies through poll().
void work_on(Job& job) {
  for (;;) {
    const std::size_t c = job.next.fetch_add(1);
    if (c >= job.ranges) return;
    if (!job.failed.load(std::memory_order_relaxed)) {
      try {
        job.executor->poll();
        job.run_range(job.task, c);
      } catch (...) {
        std::lock_guard<std::mutex> lock(job.mutex);
        if (!job.error) job.error = std::current_exception();
        job.failed.store(true);
      }
    }
    std::lock_guard<std::mutex> lock(job.mutex);
    ++job.finished;
    job.mark_if_done();
  }
}

class Pool {
 public:
  // Offers the job to up to job.max_helpers workers, starting workers as needed.
  void submit(Job& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (workers_ < job.max_helpers && workers_ < kMaxThreads - 1) {
      std::thread(&Pool::serve, this).detach();
      ++workers_;
    }
    jobs_.push_back(&job);
    submitted_.fetch_add(1);
    work_.notify_all();
  }

  // After this no new helper joins the job.
  void withdraw(Job& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
      if (*it == &job) {
        jobs_.erase(it);
        return;
      }
    }
  }

 private:
  void serve() {
    tls_in_worker = true;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Job* job = nullptr;
      for (Job* candidate : jobs_) {
        if (candidate->helpers < candidate->max_helpers &&
            candidate->next.load() < candidate->ranges) {
          job = candidate;
          break;
        }
      }
      if (job == nullptr) {
        const std::uint64_t seen = submitted_.load();
        lock.unlock();
        stay_awake_until([&] { return submitted_.load(std::memory_order_relaxed) != seen; });
        lock.lock();
        work_.wait(lock, [&] { return submitted_.load() != seen; });
        continue;
      }
      ++job->helpers;
      {
        std::lock_guard<std::mutex> job_lock(job->mutex);
        ++job->active;
        job->done.store(false);
      }
      lock.unlock();
      work_on(*job);
      {
        std::lock_guard<std::mutex> job_lock(job->mutex);
        --job->active;
        job->mark_if_done();
      }
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::deque<Job*> jobs_;
  std::atomic<std::uint64_t> submitted_{0};  // jobs ever submitted; changed under mutex_
  std::size_t workers_ = 0;
};

// The pool is created on first use and never destroyed: its detached workers outlive every
// static destructor. A forked child has none of the parent's threads, so it starts a new pool
// (the parent's, with locks perhaps held at the fork, is abandoned).
std::mutex* g_pool_mutex = new std::mutex;
Pool* g_pool = nullptr;

Pool& pool() {
  std::lock_guard<std::mutex> lock(*g_pool_mutex);
  if (g_pool == nullptr) {
#if defined(__unix__) || defined(__APPLE__)
    static const int registered = pthread_atfork(nullptr, nullptr, [] {
      g_pool_mutex = new std::mutex;
      g_pool = nullptr;
    });
    (void)registered;
#endif
    g_pool = new Pool;
  }
  return *g_pool;
}

std::size_t hardware_thread_count() {
  return std::max<std::size_t>(
      1, std::min<std::size_t>(std::thread::hardware_concurrency(), kMaxThreads));
}

// The refused VORN_NUM_THREADS text, kept for take_refused_thread_setting().
std::mutex g_refused_mutex;
std::optional<std::string> g_refused;
bool g_refusal_taken = false;

std::size_t threads_from_environment() {
  const char* text = std::getenv("VORN_NUM_THREADS");
  if (text == nullptr) return hardware_thread_count();
  const std::size_t threads = parse_thread_setting(text, hardware_thread_count());
  if (threads != 0) return threads;
  std::lock_guard<std::mutex> lock(g_refused_mutex);
  if (!g_refusal_taken) g_refused = text;
  return hardware_thread_count();
}

}  // namespace

std::size_t parse_thread_setting(const char* text, std::size_t hardware_threads) {
  if (std::strcmp(text, "-1") == 0) return hardware_threads;
  std::size_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return 0;
    value = value * 10 + static_cast<std::size_t>(*c - '0');
    if (value > kMaxThreads) return 0;
  }
  return value;  // 0 for the empty text too
}

std::optional<std::string> take_refused_thread_setting() {
  std::lock_guard<std::mutex> lock(g_refused_mutex);
  if (!g_refused || g_refusal_taken) return std::nullopt;
  g_refusal_taken = true;
  return g_refused;
}

Executor::Executor(std::size_t threads, CancelHook hook)
    : threads_(tls_in_worker ? 1 : std::min(std::max<std::size_t>(threads, 1), kMaxThreads)),
      hook_(hook) {}

void Executor::poll() const {
  if (stopped_.load(std::memory_order_relaxed)) throw Panic::interrupted();
  if (hook_.should_stop != nullptr && std::this_thread::get_id() == owner_ && ask_hook()) {
    stopped_.store(true);
    throw Panic::interrupted();
  }
}

bool Executor::ask_hook() const {
  const auto now = std::chrono::steady_clock::now();
  if (now - last_asked_ < kPollPeriod) return false;
  const bool stop = hook_.should_stop(hook_.context);
  last_asked_ = std::chrono::steady_clock::now();
  return stop;
}

void Executor::run_parallel(std::size_t ranges, void (*run_range)(const void*, std::size_t),
                            const void* task) const {
  Job job;
  job.run_range = run_range;
  job.task = task;
  job.ranges = ranges;
  job.max_helpers = std::min(threads_, ranges) - 1;
  job.executor = this;
  Pool& workers = pool();
  workers.submit(job);
  work_on(job);
  workers.withdraw(job);

  // Wait for the helpers, asking the hook meanwhile so that a stop reaches their bodies.
  // The flag is a hint for staying awake; the counts under the lock decide.
  stay_awake_until([&] { return job.done.load(); });
  std::unique_lock<std::mutex> lock(job.mutex);
  while (job.finished < job.ranges || job.active > 0) {
    job.changed.wait_for(lock, kPollPeriod);
    if (hook_.should_stop != nullptr && !stopped_.load()) {
      lock.unlock();
      if (ask_hook()) stopped_.store(true);
      lock.lock();
    }
  }
  if (job.error) std::rethrow_exception(job.error);
  if (stopped_.load()) throw Panic::interrupted();
}

std::size_t default_threads() {
  std::size_t threads = g_default_threads.load();
  if (threads == 0) {
    threads = threads_from_environment();
    std::size_t unset = 0;
    if (!g_default_threads.compare_exchange_strong(unset, threads)) threads = unset;
  }
  return tls_threads != 0 ? tls_threads : threads;
}

void set_default_threads(std::size_t threads) {
  g_default_threads.store(std::min(threads, kMaxThreads));  // 0 goes back to the environment
}

std::size_t thread_threads() {
  return tls_threads;
}

void set_thread_threads(std::size_t threads) {
  tls_threads = std::min(threads, kMaxThreads);
}

}  // namespace vorn
