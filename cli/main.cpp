// ringlark-cli: the command-line companion of the desktop program, over the same
// core libraries. Exit status: 0 success, 1 runtime error, 2 usage error, 3 no
// message understood.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "cli/Commands.h"
#include "core/RinglarkError.h"

int main(int argc, char** argv) {
    using namespace ringlark::cli;
    CLI::App app{"Ringlark command-line companion: caller-ID signalling audio"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("ringlark-cli ") + RINGLARK_VERSION);
    TGenerateArgs generateArgs;
    TInspectArgs inspectArgs;
    TWorkshopArgs workshopArgs;
    TAnalyzeArgs analyzeArgs;
    TListenArgs listenArgs;
    TLogArgs logArgs;
    TPhoneBookArgs phoneBookArgs;
    TPlanArgs planArgs;
    TDiagnoseArgs diagnoseArgs;
    TLineArgs lineArgs;
    AddGenerate(app, generateArgs);
    AddAnalyze(app, analyzeArgs);
    AddListen(app, listenArgs);
    AddLog(app, logArgs);
    CLI::App* phonebook = AddPhoneBook(app, phoneBookArgs);
    AddWorkshop(app, workshopArgs);
    AddInspect(app, inspectArgs);
    AddPlan(app, planArgs);
    AddDiagnose(app, diagnoseArgs);
    CLI::App* line = AddLine(app, lineArgs);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return static_cast<int>(TExitStatus::UsageError);
    }
    TExitStatus status = TExitStatus::Success;
    try {
        if (app.got_subcommand("generate")) {
            status = RunGenerate(generateArgs);
        } else if (app.got_subcommand("analyze")) {
            status = RunAnalyze(analyzeArgs);
        } else if (app.got_subcommand("listen")) {
            status = RunListen(listenArgs);
        } else if (app.got_subcommand("log")) {
            status = RunLog(logArgs);
        } else if (app.got_subcommand("phonebook")) {
            status = RunPhoneBook(*phonebook, phoneBookArgs);
        } else if (app.got_subcommand("workshop")) {
            status = RunWorkshop(workshopArgs);
        } else if (app.got_subcommand("plan")) {
            status = RunPlan(planArgs);
        } else if (app.got_subcommand("diagnose")) {
            status = RunDiagnose(diagnoseArgs);
        } else if (app.got_subcommand("line")) {
            status = RunLine(*line, lineArgs);
        } else {
            status = RunInspect(inspectArgs);
        }
    } catch (const TUsageError& e) {
        std::cerr << "ringlark-cli: " << e.what() << '\n';
        status = TExitStatus::UsageError;
    } catch (const ringlark::RinglarkError& e) {
        std::cerr << e.what() << '\n';
        status = TExitStatus::RuntimeError;
    } catch (const std::exception& e) {
        // Anything else is still a runtime error with its reason, never an abort.
        std::cerr << "ringlark-cli: " << e.what() << '\n';
        status = TExitStatus::RuntimeError;
    }
    return static_cast<int>(status);
}
