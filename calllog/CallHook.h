#pragma once

// A command run for each call heard, with the call's fields in its
// environment (RINGLARK_NUMBER, RINGLARK_NAME, ...): never in its command line,
// so that what a caller sends is only ever a value. The command runs as
// /bin/sh -c COMMAND in a process group of its own, its standard input
// /dev/null and its standard output sent to standard error; it never holds up
// the caller. A hook still running after the timeout is killed with its
// group.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "calllog/CallRecord.h"

namespace ringlark {

using THookEnvironment = std::vector<std::pair<std::string, std::string>>;

// RINGLARK_NUMBER, _NAME, _CONTACT, _TIME (UTC, ISO 8601), _KIND, _STANDARD,
// _BYTES (hex), _INPUT, _CHECKSUM, _MESSAGE_TIME, _NUMBER_ABSENT, _NAME_ABSENT.
THookEnvironment HookEnvironment(const TCallRecord& record);

class THookRunner {
  public:
    // warn: a line for the user (from the runner's own thread).
    THookRunner(std::string command, double timeoutSeconds,
                std::function<void(const std::string&)> warn);
    // Waits for the hooks still running (each at most until its timeout).
    ~THookRunner();
    THookRunner(const THookRunner&) = delete;
    THookRunner& operator=(const THookRunner&) = delete;

    // Starts the command; false (and a warning) when it cannot be started.
    bool Start(const THookEnvironment& environment);
    // Waits for every hook started to end or be killed.
    void Finish();
    int Killed() const;

  private:
    struct TChild {
        pid_t Pid;
        std::chrono::steady_clock::time_point Deadline;
    };
    void Reap();

    std::string command_;
    std::chrono::duration<double> timeout_;
    std::function<void(const std::string&)> warn_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TChild> running_;
    bool ending_ = false;
    int killed_ = 0;
    std::thread reaper_;
};

}  // namespace ringlark
