#pragma once

#include "analyst/WaveformViewer.h"
#include "core/WavImage.h"
#include "decoding/tests/DecodingTestSupport.h"
#include "tests/support/TestSupport.h"

namespace ringlark::test {

class TRecordingProgress : public IProgress {
  public:
    std::vector<std::string> Log;
    int64_t Maximum = 0;
    int Positions = 0;
    void Begin(const std::string& text, int64_t minimum, int64_t maximum,
               int64_t position) override {
        Log.push_back("begin " + text + " " + std::to_string(minimum) + " " +
                      std::to_string(maximum) + " " + std::to_string(position));
        Maximum = maximum;
    }
    void Position(int64_t) override { ++Positions; }
    void End() override { Log.push_back("end"); }
};

struct TViewerFixture {
    TScriptedFileDialog openDialog;
    TScriptedNotices notices;
    TRecordingProgress progress;
    TRecordingSound sound;
    TWaveformViewer viewer{openDialog, notices, progress, sound};
};

}  // namespace ringlark::test
