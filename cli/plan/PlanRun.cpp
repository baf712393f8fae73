// plan run: every file of a plan through a receiver's decoder command, each
// run's output kept and judged, the results written as JSON lines, CSV and an
// HTML report.
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "cli/plan/PlanFiles.h"
#include "testsignal/BenchReport.h"

namespace ringlark::cli {

namespace fs = std::filesystem;

namespace {

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string CommandFor(const std::string& decoder, const std::string& path) {
    std::string command = decoder;
    const std::string quoted = ShellQuote(path);
    for (std::size_t at = command.find("{}"); at != std::string::npos;
         at = command.find("{}", at + quoted.size())) {
        command.replace(at, 2, quoted);
    }
    return command;
}

// Runs a shell command with standard input empty; its output (stdout and
// stderr together) and exit status.
std::pair<std::string, int> RunCommand(const std::string& command) {
    const std::string line = "( " + command + " ) </dev/null 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return {"ringlark-cli: cannot start the decoder\n", -1};
    }
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    const int status = pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string Expected(const nlohmann::json& file, TMatch match, bool dtmf) {
    if (match == TMatch::Number) {
        return file["number"].get<std::string>();
    }
    std::string text;
    for (char c : file["message"].get<std::string>()) {
        text += c == ' ' ? std::string() : std::string(1, c);
    }
    return dtmf ? text : text;
}

}  // namespace

TExitStatus RunPlanRun(const TPlanArgs& args) {
    if (args.Decoder.find("{}") == std::string::npos) {
        throw TUsageError("--decoder needs {} where the file's path goes");
    }
    const TLoadedPlan loaded = PlanFolder(args, "run");
    const nlohmann::json& manifest = loaded.Manifest;
    const std::string& folder = loaded.Folder;
    const TPlan plan = PlanFromJson(manifest["plan"].dump(), folder);
    const TMatch match = args.Match == "bytes" ? TMatch::Bytes : TMatch::Number;
    const bool dtmf = plan.Standard == TCidStandard::Dtmf;
    const nlohmann::json& files = manifest["files"];
    for (const auto& file : files) {
        if (Expected(file, match, dtmf).empty()) {
            throw TUsageError("condition " + file["condition"].get<std::string>() +
                              " sends no number; use --match bytes");
        }
    }
    fs::create_directories(fs::path(folder) / "outputs");
    std::vector<TRunResult> results(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next++) < files.size();) {
            const nlohmann::json& file = files[i];
            TRunResult& r = results[i];
            r.Condition = file["condition"].get<std::string>();
            r.Run = file["run"].get<int>();
            r.File = file["file"].get<std::string>();
            const std::string expect = file["expect"].get<std::string>();
            r.Expect = expect == "accept"   ? TExpect::Accept
                       : expect == "reject" ? TExpect::Reject
                                            : TExpect::Any;
            const auto [output, status] =
                RunCommand(CommandFor(args.Decoder, (fs::path(folder) / r.File).string()));
            r.ExitStatus = status;
            r.Outcome = JudgeOutput(output, Expected(file, match, dtmf), match);
            r.OutputFile = "outputs/" + fs::path(r.File).stem().string() + ".txt";
            WriteOutputFile((fs::path(folder) / r.OutputFile).string(), output, true);
        }
    };
    std::vector<std::thread> workers;
    for (unsigned j = 0; j < std::max(1u, args.Jobs); ++j) {
        workers.emplace_back(work);
    }
    for (auto& worker : workers) {
        worker.join();
    }
    std::string lines;
    for (const auto& r : results) {
        lines += ResultJsonLine(r) + "\n";
    }
    const auto scores = ScorePlan(plan, results);
    WriteOutputFile((fs::path(folder) / "results.jsonl").string(), lines, true);
    WriteOutputFile((fs::path(folder) / "results.csv").string(), ResultsCsv(results), true);
    WriteOutputFile((fs::path(folder) / "report.html").string(),
                    ReportHtml(plan, scores, args.Decoder, args.Match), true);
    std::cout << ScoreText(scores);
    for (const auto& s : scores) {
        if (s.Verdict == "FAIL") {
            return TExitStatus::LimitFailed;
        }
    }
    return TExitStatus::Success;
}

}  // namespace ringlark::cli
