#pragma once

#include <stdexcept>
#include <string>

namespace ringlark {

// The one error type of the program. Its text is exactly what the user is shown
// by the general error reporting (a message box in the window, stderr in the CLI).
class RinglarkError : public std::runtime_error {
  public:
    explicit RinglarkError(const std::string& userText) : std::runtime_error(userText) {}
};

}  // namespace ringlark
