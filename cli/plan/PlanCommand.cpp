// plan: the receiver test bench's plans listed, shown and made into files.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "cli/plan/PlanFiles.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

namespace fs = std::filesystem;

namespace {

std::string Names() {
    std::string names;
    for (const auto& name : BuiltInPlanNames()) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return names;
}

TExitStatus List() {
    for (const auto& name : BuiltInPlanNames()) {
        const TPlan plan = *BuiltInPlan(name);
        char line[200];
        std::snprintf(line, sizeof line, "%-17s %2zu conditions  %s\n", name.c_str(),
                      plan.Conditions.size(), plan.Title.c_str());
        std::cout << line;
    }
    return TExitStatus::Success;
}

TExitStatus Show(const TPlanArgs& args) {
    const TPlan plan = LoadPlan(args.Target).Plan;
    if (args.Json) {
        std::cout << PlanJson(plan).dump(2) << '\n';
        return TExitStatus::Success;
    }
    std::cout << plan.Name << ": " << plan.Title << "\nstandard: " << StandardTitle(plan.Standard)
              << (plan.Signalling == TSignalling::CallWaiting ? ", call waiting" : "")
              << (plan.Alert ? ", dual-tone alert first" : "") << '\n';
    for (const auto& p : plan.Parameters) {
        char line[300];
        std::snprintf(line, sizeof line, "parameter %s = %g: %s\n", p.Name.c_str(), p.Value,
                      p.Meaning.c_str());
        std::cout << line;
    }
    std::cout << "allowed failures per condition: " << plan.AllowedFailures << '\n';
    for (const auto& c : plan.Conditions) {
        std::cout << c.Name << "  must " << ExpectName(c.Expect) << ", " << c.Runs
                  << (c.Runs == 1 ? " run" : " runs") << "  " << ImpairmentsText(c.Impairments)
                  << (c.Message.CorruptChecksum ? ", checksum corrupted" : "") << '\n'
                  << "    " << c.Description << "; source: " << c.Source << '\n';
    }
    return TExitStatus::Success;
}

}  // namespace

TLoadedPlan LoadPlan(const std::string& target) {
    TLoadedPlan loaded;
    if (auto plan = BuiltInPlan(target)) {
        loaded.Plan = std::move(*plan);
        return loaded;
    }
    std::error_code error;
    if (fs::is_directory(target, error)) {
        const fs::path manifest = fs::path(target) / "manifest.json";
        if (!fs::exists(manifest, error)) {
            throw TUsageError(target + " holds no manifest.json; make it with plan make");
        }
        loaded.Folder = target;
        loaded.Manifest = nlohmann::json::parse(ReadText(manifest.string()), nullptr, false);
        if (loaded.Manifest.is_discarded() || !loaded.Manifest.contains("plan")) {
            throw RinglarkError(
                msg::PlanNotRead(manifest.string(), "not a manifest plan make wrote"));
        }
        loaded.Plan = PlanFromJson(loaded.Manifest["plan"].dump(), manifest.string());
        return loaded;
    }
    if (fs::exists(target, error)) {
        loaded.Plan = PlanFromJson(ReadText(target), target);
        return loaded;
    }
    throw TUsageError(msg::UnknownPlan(target, Names()));
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw RinglarkError(msg::CannotOpenFile(path));
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TExitStatus RunPlan(const TPlanArgs& args) {
    if (args.Action == "list") {
        return List();
    }
    if (args.Action == "show") {
        return Show(args);
    }
    if (args.Action == "make") {
        if (!args.Output || args.Output->empty()) {
            throw TUsageError("plan make needs -o DIR");
        }
        const TLoadedPlan loaded = LoadPlan(args.Target);
        if (!loaded.Folder.empty()) {
            throw TUsageError("plan make takes a plan's name or file, not a folder");
        }
        const nlohmann::json manifest = MakePlanFiles(loaded.Plan, args);
        std::cout << loaded.Plan.Name << ": " << loaded.Plan.Conditions.size() << " conditions, "
                  << manifest["files"].size() << " files in " << *args.Output << '\n';
        return TExitStatus::Success;
    }
    if (args.Action == "play") {
        return RunPlanPlay(args);
    }
    return RunPlanRun(args);
}

void AddPlan(CLI::App& app, TPlanArgs& args) {
    CLI::App* plan = app.add_subcommand(
        "plan", "Receiver test bench: list, show, make and run test plans against a decoder");
    plan->require_subcommand(1);
    const auto target = [&args](CLI::App* command, const std::string& help) {
        command->add_option("PLAN", args.Target, help)->required();
    };
    const auto output = [&args](CLI::App* command) {
        command->add_option("--rate", args.Rate,
                            "Samples per second, 8000 to 192000 (default 44100)");
        command->add_option("--format", args.Format, "Samples: u8 or s16 (default)")
            ->check(CLI::IsMember({"u8", "s16"}));
        command->add_option("--runs", args.Runs,
                            "Runs of every condition, 1 to 10000 (default: the plan's)");
        command->add_flag("--force", args.Force, "Replace the files of an earlier plan make");
    };
    CLI::App* list = plan->add_subcommand("list", "List the built-in plans");
    list->callback([&args] { args.Action = "list"; });
    CLI::App* show = plan->add_subcommand("show", "Show a plan's conditions with their sources");
    target(show, "A built-in plan's name, a plan file (.json) or a folder plan make wrote");
    show->add_flag("--json", args.Json, "Print the plan as JSON (a plan file to edit)");
    show->callback([&args] { args.Action = "show"; });
    CLI::App* make = plan->add_subcommand("make", "Write one WAV file per run and manifest.json");
    target(make, "A built-in plan's name or a plan file (.json)");
    make->add_option("-o,--output", args.Output, "The folder to write")->required();
    output(make);
    make->callback([&args] { args.Action = "make"; });
    CLI::App* run = plan->add_subcommand("run", "Run a decoder on every file and score it");
    target(run,
           "A built-in plan's name or a plan file (made into -o DIR first), or a folder "
           "plan make wrote");
    run->add_option("--decoder", args.Decoder,
                    "Shell command run per file, {} standing for the file's path")
        ->required();
    run->add_option("-o,--output", args.Output,
                    "The folder to make the plan in (PLAN a name or file)");
    run->add_option("--jobs", args.Jobs, "Decoders run at once (default 1)")
        ->check(CLI::Range(1u, 64u));
    run->add_option("--match", args.Match,
                    "What counts as shown: number (the digits, separators ignored, default) "
                    "or bytes (the message in hex)")
        ->check(CLI::IsMember({"number", "bytes"}));
    output(run);
    run->callback([&args] { args.Action = "run"; });
    CLI::App* play = plan->add_subcommand(
        "play", "Play every run through the sound card and score the operator's answers");
    target(play,
           "A built-in plan's name or a plan file (made into -o DIR first), or a folder "
           "plan make wrote");
    play->add_option("-o,--output", args.Output,
                     "The folder to make the plan in (PLAN a name or file)");
    play->add_option("--dbm-at-fs", args.DbmAtFs,
                     "The level in dBm of a full-scale sine at the sound card's output, -30 to "
                     "20 (default: the plan's dbm_at_fs)");
    play->add_option("--pause", args.PauseSeconds,
                     "Seconds of quiet before each run, 0 to 60 (default 2)");
    output(play);
    play->callback([&args] { args.Action = "play"; });
}

}  // namespace ringlark::cli
