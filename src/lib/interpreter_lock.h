// The interpreter lock around a computation: released for the numeric work and taken back only
// while the interpreter is not finalising. A thread that takes the lock back during
// finalisation is ended by the interpreter, and that unwinding must never cross C++ frames.
#pragma once

#include <Python.h>

namespace vorn::py {

// Registers the exit hook (with the atexit module, so it runs before finalisation begins).
// After it has run, a thread in a call stops its computation and stays parked instead of
// taking the lock back; the thread that ran the hook goes on as before. Returns false with a
// Python exception set.
bool watch_interpreter_exit();

// Releases the interpreter lock for its lifetime, so that other Python threads run meanwhile.
// The destructor takes it back, or parks the thread for good once the interpreter is exiting.
class InterpreterReleased {
 public:
  InterpreterReleased() : state_(PyEval_SaveThread()) {}
  ~InterpreterReleased();
  InterpreterReleased(const InterpreterReleased&) = delete;
  InterpreterReleased& operator=(const InterpreterReleased&) = delete;

  // A CancelHook: takes the lock back for a moment to run pending signal handlers. True when
  // one raised (the exception stays set) or when the interpreter is exiting.
  static bool signal_pending(void* self);

 private:
  PyThreadState* state_;
};

}  // namespace vorn::py
