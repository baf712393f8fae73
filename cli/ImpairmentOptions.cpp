#include "cli/ImpairmentOptions.h"

#include "cli/Commands.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

namespace {

std::string RangeHelp(const std::string& option) {
    for (const auto& range : ImpairmentRanges()) {
        if (range.Option == option) {
            char text[200];
            std::snprintf(text, sizeof text, "%s, %g to %g %s", range.Help.c_str(), range.Min,
                          range.Max, range.Unit.c_str());
            return text;
        }
    }
    return option;
}

template <typename T>
void Add(CLI::App& command, const std::string& option, std::optional<T>& value) {
    command.add_option("--" + option, value, RangeHelp(option) + " (test signal)");
}

}  // namespace

bool TImpairmentArgs::Given() const {
    return Values.Any() || LevelDbm || AlertLevelDbm || DbmAtFs || Rate || !Format.empty();
}

TSampleFormat TImpairmentArgs::OutputFormat() const {
    return Format == "s16" ? TSampleFormat::S16 : TSampleFormat::U8;
}

TImpairments TImpairmentArgs::Resolved() const {
    if ((LevelDbm || AlertLevelDbm) && !DbmAtFs) {
        throw TUsageError(
            "--level-dbm and --alert-level-dbm need --dbm-at-fs (the level in dBm of a "
            "full-scale sine)");
    }
    if (DbmAtFs && !LevelDbm && !AlertLevelDbm) {
        throw TUsageError("--dbm-at-fs goes with --level-dbm or --alert-level-dbm");
    }
    if (LevelDbm && Values.LevelDbfs) {
        throw TUsageError("give either --level-dbm or --level-dbfs");
    }
    if (AlertLevelDbm && Values.AlertLevelDbfs) {
        throw TUsageError("give either --alert-level-dbm or --alert-level-dbfs");
    }
    TImpairments m = Values;
    if (LevelDbm) {
        m.LevelDbfs = DbmToDbfs(*LevelDbm, *DbmAtFs);
    }
    if (AlertLevelDbm) {
        m.AlertLevelDbfs = DbmToDbfs(*AlertLevelDbm, *DbmAtFs);
    }
    try {
        CheckImpairments(m);
    } catch (const RinglarkError& e) {
        std::string text = e.what();
        if (LevelDbm || AlertLevelDbm) {
            text += " (after --dbm-at-fs)";
        }
        throw TUsageError(text);
    }
    return m;
}

void CheckAsUsage(const TTestSignal& signal) {
    try {
        CheckTestSignal(signal);
    } catch (const RinglarkError& e) {
        throw TUsageError(e.what());
    }
}

void AddImpairmentOptions(CLI::App& command, TImpairmentArgs& args) {
    TImpairments& v = args.Values;
    Add(command, "level-dbfs", v.LevelDbfs);
    command.add_option("--level-dbm", args.LevelDbm,
                       "Level of the lower tone in dBm, with --dbm-at-fs (test signal)");
    command.add_option("--dbm-at-fs", args.DbmAtFs,
                       "The level in dBm of a full-scale sine, for --level-dbm and "
                       "--alert-level-dbm");
    Add(command, "twist-db", v.TwistDb);
    Add(command, "mark-error-pct", v.MarkErrorPct);
    Add(command, "space-error-pct", v.SpaceErrorPct);
    Add(command, "baud-error-pct", v.BaudErrorPct);
    Add(command, "seizure-bits", v.SeizureBits);
    Add(command, "mark-bits", v.MarkBits);
    Add(command, "idle-bits", v.IdleBits);
    Add(command, "alert-ms", v.AlertMs);
    Add(command, "alert-level-dbfs", v.AlertLevelDbfs);
    command.add_option("--alert-level-dbm", args.AlertLevelDbm,
                       "Alert level of the 2130 Hz tone in dBm, with --dbm-at-fs (test signal)");
    Add(command, "alert-error-pct", v.AlertErrorPct);
    Add(command, "alert-twist-db", v.AlertTwistDb);
    Add(command, "dtmf-tone-ms", v.DtmfToneMs);
    Add(command, "dtmf-gap-ms", v.DtmfGapMs);
    Add(command, "dtmf-error-pct", v.DtmfErrorPct);
    Add(command, "snr-db", v.SnrDb);
    command.add_option("--seed", v.Seed, "Seed of the noise (default 1)");
    command.add_flag("--telephone-band", v.TelephoneBand,
                     "Pass the signal through a 300-3400 Hz line filter (test signal)");
    command.add_option("--rate", args.Rate,
                       "Samples per second of the test signal, 8000 to 192000 (default 44100)");
    command.add_option("--format", args.Format, "Test signal samples: u8 (default) or s16")
        ->check(CLI::IsMember({"u8", "s16"}));
}

}  // namespace ringlark::cli
