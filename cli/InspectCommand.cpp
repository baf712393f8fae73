// inspect: a message given in hex, explained byte by byte.
#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "inspection/Inspector.h"
#include "protocol/Standards.h"

namespace ringlark::cli {

TExitStatus RunInspect(const TInspectArgs& args) {
    const TCidStandard standard =
        args.Standard.empty() ? TCidStandard::Bell202 : *StandardNamed(args.Standard);
    if (standard == TCidStandard::Dtmf) {
        // DTMF caller ID is its digits, given as they are: "A0123456789C"
        std::string digits;
        for (const auto& part : args.Hex) {
            digits += part;
        }
        PrintInspectorTable(BuildInspector(digits, standard), args.Json);
        return TExitStatus::Success;
    }
    std::string error;
    const auto bytes = ParseHexArguments(args.Hex, error);
    if (!bytes) {
        throw TUsageError(error);
    }
    PrintInspectorTable(BuildInspector(*bytes, standard), args.Json);
    return TExitStatus::Success;
}

void AddInspect(CLI::App& app, TInspectArgs& args) {
    CLI::App* inspect = app.add_subcommand("inspect", "Explain a caller-ID message byte by byte");
    inspect->add_option("HEX", args.Hex, "Message bytes as hex pairs, e.g. \"82 03 0B 01 FF 70\"")
        ->required();
    inspect->add_flag("--json", args.Json, "Print JSON");
    inspect
        ->add_option("--standard", args.Standard,
                     "Explain in the terms of bell (default), etsi, bt, or dtmf (then give the "
                     "digits, e.g. A0123456789C)")
        ->check(CLI::IsMember({"bell", "etsi", "bt", "dtmf"}));
}

}  // namespace ringlark::cli
