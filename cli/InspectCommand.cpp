// inspect: a message given in hex, explained byte by byte.
#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "inspection/Inspector.h"

namespace ringlark::cli {

TExitStatus RunInspect(const TInspectArgs& args) {
    std::string error;
    const auto bytes = ParseHexArguments(args.Hex, error);
    if (!bytes) {
        throw TUsageError(error);
    }
    PrintInspectorTable(BuildInspector(*bytes), args.Json);
    return TExitStatus::Success;
}

void AddInspect(CLI::App& app, TInspectArgs& args) {
    CLI::App* inspect = app.add_subcommand("inspect", "Explain a caller-ID message byte by byte");
    inspect->add_option("HEX", args.Hex, "Message bytes as hex pairs, e.g. \"82 03 0B 01 FF 70\"")
        ->required();
    inspect->add_flag("--json", args.Json, "Print JSON");
}

}  // namespace ringlark::cli
