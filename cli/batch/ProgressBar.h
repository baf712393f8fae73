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

// One updating line on stderr while one long recording is read: a bar, the
// recording's time read of its length, how much faster than it plays, and the
// time left. Drawn only when asked to and once reading has taken a second
// (a short recording never shows it), then at most ten times a second.
class TAudioProgress {
  public:
    explicit TAudioProgress(bool shown);
    // `total` 0: the length is not known, and nothing is drawn.
    void Show(double seconds, double total);
    void Clear();
    // "[=====     ] 3:12:05 of 24:00:00  850x  0:00:21 left" after `elapsed` s.
    static std::string Line(double seconds, double total, double elapsed);

  private:
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace ringlark::cli
