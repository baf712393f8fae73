#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/OptionsModel.h"
#include "app/MainWindowModel.h"

namespace ringlark {

// The program's start sequence: the title, then each window created once in
// order. The options dialog copies the audio values of the main window when it
// is created, so the main window must have finished its own creation first.
class TRinglarkApplication {
  public:
    explicit TRinglarkApplication(TMainServices services);

    std::string Title;
    std::string HelpFile;
    std::vector<std::string> Created;

    TFormOptions FormOptions;
    TForm1 Form1;

    // Creates the windows in order; the toolkit binding creates its own
    // widgets for each as it is named here.
    void Start();
};

}  // namespace ringlark
