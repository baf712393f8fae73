#pragma once

// A plan found by name, file or folder, and made into files with its manifest.
#include <string>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "testsignal/TestPlan.h"

namespace ringlark::cli {

struct TLoadedPlan {
    TPlan Plan;
    std::string Folder;       // a folder plan make wrote; empty otherwise
    nlohmann::json Manifest;  // its manifest.json
};

// A built-in plan's name, a plan file, or a folder holding manifest.json; an
// unknown name is a usage error listing the built-in plans.
TLoadedPlan LoadPlan(const std::string& target);
std::string ReadText(const std::string& path);

// Writes one WAV file per run into args.Output and manifest.json (the plan,
// the rate and format, and per file its condition, run, what the receiver
// must do, the number and the message in hex); returns the manifest.
nlohmann::json MakePlanFiles(const TPlan& plan, const TPlanArgs& args);

// The folder that plan `command` (run, play) works in: the one given, or the
// plan made into -o DIR first; Folder and Manifest are set. Usage errors for
// a missing -o or making options given with a folder.
TLoadedPlan PlanFolder(const TPlanArgs& args, const std::string& command);

}  // namespace ringlark::cli
