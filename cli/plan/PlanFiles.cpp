#include "cli/plan/PlanFiles.h"

#include <filesystem>

#include "cli/CliFormat.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

namespace fs = std::filesystem;

namespace {

std::string Hex(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (char c : bytes) {
        hex += (hex.empty() ? "" : " ");
        hex += digits[static_cast<uint8_t>(c) >> 4];
        hex += digits[static_cast<uint8_t>(c) & 15];
    }
    return hex;
}

}  // namespace

nlohmann::json MakePlanFiles(const TPlan& plan, const TPlanArgs& args) {
    const int rate = args.Rate.value_or(44100);
    const std::string format = args.Format.empty() ? "s16" : args.Format;
    if (rate < MinTestRate || rate > MaxTestRate) {
        throw TUsageError(msg::ValueOutOfRange("rate", std::to_string(rate), "8000", "192000",
                                               "samples per second"));
    }
    if (args.Runs && (*args.Runs < 1 || *args.Runs > 10000)) {
        throw TUsageError(
            msg::ValueOutOfRange("runs", std::to_string(*args.Runs), "1", "10000", ""));
    }
    const fs::path folder = *args.Output;
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error)) {
        throw RinglarkError(msg::CannotCreateFile(folder.string(), "it is not a folder"));
    }
    if (fs::exists(folder / "manifest.json", error) && !args.Force) {
        throw RinglarkError(msg::FileExistsUseForce((folder / "manifest.json").string()));
    }
    nlohmann::json manifest = {{"plan", PlanJson(plan)}, {"rate", rate}, {"format", format}};
    if (args.Runs) {
        for (auto& condition : manifest["plan"]["conditions"]) {
            condition["runs"] = *args.Runs;
        }
    }
    nlohmann::json files = nlohmann::json::array();
    for (std::size_t ci = 0; ci < plan.Conditions.size(); ++ci) {
        const TPlanCondition& condition = plan.Conditions[ci];
        const int runs = args.Runs.value_or(condition.Runs);
        for (int run = 0; run < runs; ++run) {
            const TPlanSignal signal = PlanSignal(plan, condition, run, rate);
            const std::string name = PlanFileName(ci, condition.Name, run + 1);
            const Bytes wav = EncodeWav(SynthesiseTestSignal(signal.Signal), rate,
                                        format == "u8" ? TSampleFormat::U8 : TSampleFormat::S16);
            WriteOutputFile((folder / name).string(), wav, true);
            files.push_back(
                {{"file", name},
                 {"condition", condition.Name},
                 {"run", run + 1},
                 {"expect", ExpectName(condition.Expect)},
                 {"number", signal.Number},
                 {"message", plan.Standard == TCidStandard::Dtmf ? std::string(signal.Message)
                                                                 : Hex(signal.Message)}});
        }
    }
    manifest["files"] = files;
    WriteOutputFile((folder / "manifest.json").string(), manifest.dump(2) + "\n", true);
    return manifest;
}

TLoadedPlan PlanFolder(const TPlanArgs& args, const std::string& command) {
    TLoadedPlan loaded = LoadPlan(args.Target);
    if (loaded.Folder.empty()) {
        if (!args.Output) {
            throw TUsageError("plan " + command + " " + args.Target +
                              " needs -o DIR to make the plan in (or a folder plan make wrote)");
        }
        loaded.Folder = *args.Output;
        loaded.Manifest = MakePlanFiles(loaded.Plan, args);
    } else if (args.Output || args.Rate || !args.Format.empty() || args.Runs || args.Force) {
        throw TUsageError("-o, --rate, --format, --runs and --force make a plan; a folder is " +
                          std::string(command == "play" ? "played" : command) +
                          " as plan make wrote it");
    }
    return loaded;
}

}  // namespace ringlark::cli
