#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace ringlark::cli {

// One updating line on stderr: a bar, files done of all, files per second and
// the time left. Shown only when asked to (stderr a terminal, more than one
// file, no --quiet); otherwise every call does nothing.
class TProgressBar {
  public:
    TProgressBar(std::size_t total, bool shown);
    void Show(std::size_t done);
    // Wipes the line, so that a result line can be printed in its place.
    void Clear();
    // The line for `done` files after `seconds`, 40 characters of bar.
    static std::string Line(std::size_t done, std::size_t total, double seconds);

  private:
    std::size_t total_;
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace ringlark::cli
