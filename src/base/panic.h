// The one exception type of the numeric code: an internal failure with its message, or a
// computation stopped at its caller's request. Only the module layer turns it into a Python
// exception; numeric code never sees Python.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vorn {

class Panic : public std::exception {
 public:
  explicit Panic(std::string message) : message_(std::move(message)) {}

  // Thrown when the caller's cancellation hook asked the computation to stop.
  static Panic interrupted() {
    Panic stop("computation interrupted");
    stop.interrupted_ = true;
    return stop;
  }

  const char* what() const noexcept override { return message_.c_str(); }
  bool is_interrupted() const noexcept { return interrupted_; }

 private:
  std::string message_;
  bool interrupted_ = false;
};

}  // namespace vorn
