#pragma once

// Analysis of many recordings in one run: every file gets one result, in the
// order given, whatever happens to the others; files are analysed on several
// threads.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ringlark::cli {

enum class TBatchStatus { Decoded, NotUnderstood, Failed };

struct TBatchResult {
    std::string File;
    TBatchStatus Status = TBatchStatus::Failed;
    std::string Error;  // why the file could not be analysed
    std::string Tag;    // of the automatic analysis: ZCA, PEAK, CORR, FAIL
    std::string Bytes;  // hex of its message
    bool Checksum = false;
    nlohmann::json Messages = nlohmann::json::array();  // every message method 3 found
};

// The files named: files as they are, folders as the recordings in them
// (".wav" in any letter case; with anyFormat also .flac, .ogg, .aif(f), .au,
// .caf, .w64), in name order, their sub-folders too when recursive. A name that
// does not exist is kept, so that its result says so.
// What the folders held that was not taken: files that are not recordings
// (some of them recordings that anyFormat would take) and, when not
// recursive, sub-folders.
struct TSkipped {
    std::size_t Files = 0, AnyFormat = 0, Folders = 0;
};
std::vector<std::string> ExpandInputs(const std::vector<std::string>& names, bool recursive,
                                      bool anyFormat, TSkipped* skipped = nullptr);
// "ringlark-cli: no files to analyse in DIR (3 skipped: not .wav; add
// --any-format)": why a batch of these folders had nothing to analyse.
std::string NothingToAnalyse(const std::vector<std::string>& names, const TSkipped& skipped);

// One file, never throwing: a file that cannot be read is a Failed result.
TBatchResult AnalyzeOneFile(const std::string& file, bool anyFormat);

// Analyses the files on `jobs` threads and hands each result to `report` in
// the order of the files, as soon as it and all before it are done.
void AnalyzeBatch(const std::vector<std::string>& files, unsigned jobs, bool anyFormat,
                  const std::function<void(const TBatchResult&, std::size_t done)>& report);

// One line per file: JSON, or "FILE: TAG HEX" / "FILE: error: REASON"; a line
// break in the file's name is written \n (\r) there, so that each file keeps
// one line.
std::string BatchLine(const TBatchResult& result, bool json);

}  // namespace ringlark::cli
