#pragma once

// Runs ringlark-cli as a fresh process, as users do.
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace ringlark::test {

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// A shell command line; "CLI" in it stands for the program.
inline TRun RunShell(std::string command) {
    TTempDir dir;
    const auto errPath = dir / "stderr";
    for (std::size_t at = command.find("CLI"); at != std::string::npos;
         at = command.find("CLI", at)) {
        command.replace(at, 3, RINGLARK_CLI_PATH);
    }
    command = "{ " + command + " ; } 2>" + errPath.string();
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

}  // namespace ringlark::test
