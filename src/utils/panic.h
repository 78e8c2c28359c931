// The one exception type of the numeric code: an internal failure with its message.
// Only the module layer turns it into a Python exception; numeric code never sees Python.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vorn {

class Panic : public std::exception {
 public:
  explicit Panic(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace vorn
