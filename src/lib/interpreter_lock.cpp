// The exit gate: the hook closes it before finalisation starts, after every thread already on
// its way to the interpreter lock has got it. No thread takes the lock once it is closed.
#include "lib/interpreter_lock.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#endif

#include "lib/py_ref.h"

namespace vorn::py {

namespace {

struct ExitGate {
  std::mutex mutex;
  std::condition_variable changed;
  bool closed = false;
  std::thread::id closer;    // the thread that ran the hook: it finalises, and is never ended
  std::size_t entering = 0;  // threads let through and not yet holding the interpreter lock
};

// Never destroyed: parked threads outlive every static destructor. A forked child has none of
// the parent's other threads, so it starts with a gate of its own (a count of threads that do
// not exist there would stall its exit hook).
ExitGate* g_gate = nullptr;

ExitGate& gate() {
  static const bool created = [] {
    g_gate = new ExitGate;
#if defined(__unix__) || defined(__APPLE__)
    pthread_atfork(nullptr, nullptr, [] { g_gate = new ExitGate; });
#endif
    return true;
  }();
  (void)created;
  return *g_gate;
}

// Takes the interpreter lock back unless the gate is closed; returns whether it did.
bool take_back(PyThreadState* state) {
  ExitGate& g = gate();
  {
    std::lock_guard<std::mutex> lock(g.mutex);
    if (g.closed && std::this_thread::get_id() != g.closer) return false;
    ++g.entering;
  }
  PyEval_RestoreThread(state);
  std::lock_guard<std::mutex> lock(g.mutex);
  --g.entering;
  g.changed.notify_all();
  return true;
}

[[noreturn]] void park_forever() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// Runs on the finalising thread, which holds the interpreter lock: lets it go while it waits,
// so that the threads already let through can take it and go on.
PyObject* close_gate(PyObject* /*self*/, PyObject* /*unused*/) {
  ExitGate& g = gate();
  PyThreadState* state = PyEval_SaveThread();
  {
    std::unique_lock<std::mutex> lock(g.mutex);
    g.closed = true;
    g.closer = std::this_thread::get_id();
    g.changed.wait(lock, [&] { return g.entering == 0; });
  }
  PyEval_RestoreThread(state);
  Py_RETURN_NONE;
}

PyMethodDef close_gate_definition = {"_close_exit_gate", &close_gate, METH_NOARGS, nullptr};

}  // namespace

bool watch_interpreter_exit() {
  gate();
  PyRef hook(PyCFunction_NewEx(&close_gate_definition, nullptr, nullptr));
  if (!hook) return false;
  PyRef atexit(PyImport_ImportModule("atexit"));
  if (!atexit) return false;
  PyRef done(PyObject_CallMethod(atexit.get(), "register", "O", hook.get()));
  return static_cast<bool>(done);
}

InterpreterReleased::~InterpreterReleased() {
  if (!take_back(state_)) park_forever();
}

bool InterpreterReleased::signal_pending(void* self) {
  auto* released = static_cast<InterpreterReleased*>(self);
  if (!take_back(released->state_)) return true;
  const bool raised = PyErr_CheckSignals() != 0;
  released->state_ = PyEval_SaveThread();
  return raised;
}

}  // namespace vorn::py
