// plan play: every run of a plan through the sound card at the card's
// calibration, the operator saying at the terminal what the device showed;
// the answers written and reported as plan run writes a decoder's.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "cli/plan/PlanFiles.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "generation/sound/PortAudioPlayer.h"
#include "testsignal/BenchReport.h"
#include "testsignal/device/DevicePlay.h"

namespace ringlark::cli {

namespace fs = std::filesystem;

namespace {

enum class TReply { Outcome, Replay, Quit };

// One answer line: a, n, w (or the words accepted, nothing, wrong), r, q.
std::optional<std::pair<TReply, TOutcome>> ParseReply(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    while (!line.empty() && line.front() == ' ') {
        line.erase(0, 1);
    }
    for (char& c : line) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (line == "a" || line == "accepted" || line == "shown") {
        return std::pair{TReply::Outcome, TOutcome::Accepted};
    }
    if (line == "n" || line == "nothing") {
        return std::pair{TReply::Outcome, TOutcome::Rejected};
    }
    if (line == "w" || line == "wrong") {
        return std::pair{TReply::Outcome, TOutcome::Wrong};
    }
    if (line == "r" || line == "replay") {
        return std::pair{TReply::Replay, TOutcome::Rejected};
    }
    if (line == "q" || line == "quit") {
        return std::pair{TReply::Quit, TOutcome::Rejected};
    }
    return std::nullopt;
}

// Plays run i until the operator gives an outcome; false when they quit or
// the answers end.
bool PlayAndAsk(TDevicePlay& play, std::size_t i, ISoundPlayer& player) {
    const TPlayRun& run = play.RunAt(i);
    const TPlanCondition& c = play.ConditionOf(i);
    std::cout << "[" << i + 1 << "/" << play.Size() << "] " << c.Name << " run " << run.Run << "/"
              << c.Runs << ", must " << ExpectName(c.Expect)
              << (c.Description.empty() ? "" : ": " + c.Description) << '\n';
    for (;;) {
        std::cout << "playing " << run.File << std::endl;
        if (const auto failure = player.Play(play.Image(i))) {
            throw RinglarkError(*failure);
        }
        for (;;) {
            std::cout << msg::PlayQuestion << std::flush;
            std::string line;
            if (!std::getline(std::cin, line)) {
                std::cout << '\n';
                std::cerr << "ringlark-cli: " << msg::PlayInputEnded << '\n';
                return false;
            }
            const auto reply = ParseReply(line);
            if (!reply) {
                std::cout << msg::PlayAnswerUnknown << '\n';
                continue;
            }
            if (reply->first == TReply::Quit) {
                return false;
            }
            if (reply->first == TReply::Outcome) {
                play.Answer(i, reply->second);
                return true;
            }
            break;  // replay
        }
    }
}

}  // namespace

TExitStatus RunPlanPlay(const TPlanArgs& args) {
    if (args.PauseSeconds < 0 || args.PauseSeconds > 60) {
        char value[32];
        std::snprintf(value, sizeof value, "%g", args.PauseSeconds);
        throw TUsageError(msg::ValueOutOfRange("pause", value, "0", "60", "s"));
    }
    if (args.DbmAtFs && !(*args.DbmAtFs >= MinDbmAtFs && *args.DbmAtFs <= MaxDbmAtFs)) {
        char value[32];
        std::snprintf(value, sizeof value, "%g", *args.DbmAtFs);
        throw TUsageError(msg::ValueOutOfRange("dbm-at-fs", value, "-30", "20", "dBm"));
    }
    const TLoadedPlan loaded = PlanFolder(args, "play");
    const fs::path folder = loaded.Folder;
    const TPlan plan = PlanFromJson(loaded.Manifest["plan"].dump(), loaded.Folder);
    std::optional<TDevicePlay> made;
    try {
        made.emplace(plan, loaded.Manifest["rate"].get<int>(), args.DbmAtFs);
        for (std::size_t i = 0; i < made->Size(); ++i) {
            made->Image(i);  // every run checked before the first plays
        }
    } catch (const RinglarkError& e) {
        throw TUsageError(e.what());
    }
    TDevicePlay& play = *made;
    char head[200];
    std::snprintf(head, sizeof head,
                  "%s: %zu runs through the sound card at %+.2f dBm for a full-scale sine (the "
                  "plan's levels %+.2f dB)\n",
                  plan.Name.c_str(), play.Size(), play.DbmAtFs(), play.GainDb());
    std::cout << head;
    TPortAudioPlayer player;
    std::optional<std::string> failure;
    for (std::size_t i = 0; i < play.Size(); ++i) {
        std::this_thread::sleep_for(std::chrono::duration<double>(args.PauseSeconds));
        try {
            if (!PlayAndAsk(play, i, player)) {
                break;
            }
        } catch (const RinglarkError& e) {
            failure = e.what();  // the runs answered so far are still written
            break;
        }
    }
    std::string lines;
    const std::vector<TRunResult> results = play.Results();
    for (const auto& r : results) {
        lines += ResultJsonLine(r) + "\n";
    }
    WriteOutputFile((folder / "results.jsonl").string(), lines, true);
    WriteOutputFile((folder / "results.csv").string(), ResultsCsv(results), true);
    WriteOutputFile((folder / "report.html").string(), play.Report(), true);
    if (failure) {
        throw RinglarkError(*failure);
    }
    const auto scores = play.Scores();
    std::cout << ScoreText(scores);
    for (const auto& s : scores) {
        if (s.Verdict == "FAIL") {
            return TExitStatus::LimitFailed;
        }
    }
    return TExitStatus::Success;
}

}  // namespace ringlark::cli
