#pragma once

// Runs ringlark-cli as a fresh process, as users do.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace ringlark::test {

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// A shell command line; the word "CLI" in it stands for the program (only as
// a word of its own: a temporary folder's random name may hold the letters).
// It runs with a home folder of its own, so that nothing it does reaches the
// user's files (a command line may still set HOME or XDG_CONFIG_HOME for one
// program).
inline TRun RunShell(std::string command) {
    TTempDir dir;
    const auto errPath = dir / "stderr";
    const auto partOfAName = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' ||
               c == '.' || c == '/';
    };
    for (std::size_t at = command.find("CLI"); at != std::string::npos;
         at = command.find("CLI", at + 1)) {
        const bool word = (at == 0 || !partOfAName(command[at - 1])) &&
                          (at + 3 == command.size() || !partOfAName(command[at + 3]));
        if (word) {
            command.replace(at, 3, RINGLARK_CLI_PATH);
        }
    }
    const auto home = dir / "home";
    command = "{ export HOME='" + home.string() + "' XDG_CONFIG_HOME='" + home.string() +
              "/.config'; " + command + " ; } 2>" + errPath.string();
    TRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.Out.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Err = ReadFile(errPath);
    return run;
}

inline TRun RunCli(const std::string& arguments) {
    return RunShell("CLI " + arguments);
}

// Output of one JSON object per line, parsed.
inline std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::istringstream lines(out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) {
        objects.push_back(nlohmann::json::parse(line));
    }
    return objects;
}

// The program with its standard input and output on pipes, and its pid.
struct TChild {
    pid_t Pid = -1;
    int In = -1;
    int Out = -1;
};

// Its standard error goes to `errPath` when one is given (else it is the
// test's own), and the read end of its output is closed at once when
// `closedOutput` (a reader that went away).
inline TChild Spawn(const std::vector<std::string>& arguments, const std::string& errPath = {},
                    bool closedOutput = false) {
    int in[2], out[2];
    // close-on-exec: only the program gets them (as 0 and 1), so that the
    // input's end is seen when the test closes it, whatever else it starts
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (!errPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    std::vector<std::string> all = {RINGLARK_CLI_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    TChild child;
    posix_spawn(&child.Pid, RINGLARK_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    child.In = in[1];
    child.Out = out[0];
    if (closedOutput) {
        close(child.Out);
        child.Out = -1;
    }
    return child;
}

// The example MDMF call as an image, and an image's samples as signed 16-bit
// little-endian raw audio followed by `silence` zero samples.
inline Bytes MdmfImage() {
    TFskSynth synth;
    return SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook);
}
inline Bytes S16Raw(const Bytes& image, std::size_t silence = 0) {
    Bytes raw;
    for (std::size_t i = 44; i < image.size(); ++i) {
        const int v = (static_cast<uint8_t>(image[i]) - 128) * 256;
        raw += static_cast<char>(v & 0xFF);
        raw += static_cast<char>((v >> 8) & 0xFF);
    }
    raw.append(silence * 2, '\0');
    return raw;
}

// A home folder whose ALSA configuration makes the default capture device
// read `raw` (signed 16-bit mono at 44100/s) and discard what is played.
inline std::filesystem::path AlsaHome(const TTempDir& dir, const Bytes& raw) {
    const auto home = dir / "home";
    std::filesystem::create_directories(home);
    WriteFile(dir / "in.raw", raw);
    WriteFile(home / ".asoundrc",
              "pcm.!default {\n  type plug\n  slave {\n    pcm \"capfile\"\n"
              "    format S16_LE\n    rate 44100\n    channels 1\n  }\n}\n"
              "pcm.capfile {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
              "  infile \"" +
                  (dir / "in.raw").string() + "\"\n  format \"raw\"\n}\n");
    return home;
}

inline std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

}  // namespace ringlark::test
