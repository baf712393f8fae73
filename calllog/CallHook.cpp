#include "calllog/CallHook.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

extern char** environ;

namespace ringlark {

namespace {

std::string HexText(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", static_cast<uint8_t>(c));
        text += text.empty() ? two : std::string(" ") + two;
    }
    return text;
}

// An environment value cannot hold a NUL: each becomes a space.
std::string EnvironmentValue(std::string value) {
    for (char& c : value) {
        c = c == '\0' ? ' ' : c;
    }
    return value;
}

}  // namespace

THookEnvironment HookEnvironment(const TCallRecord& r) {
    return {{"RINGLARK_NUMBER", r.Number},
            {"RINGLARK_NAME", r.Name},
            {"RINGLARK_CONTACT", r.Contact},
            {"RINGLARK_TIME", r.HeardUtc},
            {"RINGLARK_KIND", r.Kind},
            {"RINGLARK_STANDARD", r.Standard},
            {"RINGLARK_BYTES", r.Standard == "dtmf" ? r.Raw : HexText(r.Raw)},
            {"RINGLARK_INPUT", r.Input},
            {"RINGLARK_CHECKSUM", r.Checksum},
            {"RINGLARK_MESSAGE_TIME", r.MessageTime},
            {"RINGLARK_NUMBER_ABSENT", r.NumberAbsent},
            {"RINGLARK_NAME_ABSENT", r.NameAbsent}};
}

THookRunner::THookRunner(std::string command, double timeoutSeconds,
                         std::function<void(const std::string&)> warn)
    : command_(std::move(command)), timeout_(timeoutSeconds), warn_(std::move(warn)) {
    reaper_ = std::thread([this] { Reap(); });
}

THookRunner::~THookRunner() {
    Finish();
}

int THookRunner::Killed() const {
    std::lock_guard lock(mutex_);
    return killed_;
}

bool THookRunner::Start(const THookEnvironment& environment) {
    // The environment: ours without any RINGLARK_ value, then the call's.
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "RINGLARK_", 9) != 0) {
            entries.emplace_back(*e);
        }
    }
    for (const auto& [name, value] : environment) {
        entries.push_back(name + "=" + EnvironmentValue(value));
    }
    std::vector<char*> envp;
    for (std::string& entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", dashC = "-c";
    std::vector<char*> argv = {shell.data(), dashC.data(), command_.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        warn_("The hook could not be started: " + std::string(std::strerror(error)));
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        running_.push_back(
            {pid, std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout_)});
    }
    changed_.notify_all();
    return true;
}

void THookRunner::Finish() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (reaper_.joinable()) {
        reaper_.join();
    }
}

// Every 50 ms: each hook that ended is reaped, each past its deadline killed.
void THookRunner::Reap() {
    std::unique_lock lock(mutex_);
    while (!(ending_ && running_.empty())) {
        const auto now = std::chrono::steady_clock::now();
        for (auto it = running_.begin(); it != running_.end();) {
            int status = 0;
            const pid_t done = waitpid(it->Pid, &status, WNOHANG);
            if (done == it->Pid || done < 0) {
                if (done == it->Pid && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
                    warn_("The hook ended with status " + std::to_string(WEXITSTATUS(status)));
                }
                it = running_.erase(it);
            } else if (now >= it->Deadline) {
                kill(-it->Pid, SIGKILL);
                waitpid(it->Pid, &status, 0);
                ++killed_;
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%g", timeout_.count());
                warn_("The hook was still running after " + std::string(seconds) +
                      " s and was killed: " + command_);
                it = running_.erase(it);
            } else {
                ++it;
            }
        }
        changed_.wait_for(lock, std::chrono::milliseconds(running_.empty() ? 500 : 50));
    }
}

}  // namespace ringlark
