// Runtime errors as C++ exceptions: the conversion error and the input/output error that the
// system's readers and writers raise and catch. Messages are the texts the system logs.
#pragma once

#include <stdexcept>
#include <string>

namespace rtl {

// A text that is not a number or boolean of the asked kind ("'x' is not a valid integer value").
class EConvertError : public std::runtime_error {
public:
  explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// A file that cannot be opened, read, written, flushed or closed. Code is the Windows error
// code of the failure (2 not found, 5 access denied, ...).
class EInOutError : public std::runtime_error {
public:
  EInOutError(const std::string& message, int code = 0) : std::runtime_error(message), Code(code) {}
  int Code;
};

}  // namespace rtl
