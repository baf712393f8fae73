#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/MainWindowModel.h"
#include "app/OptionsModel.h"

namespace ringlark {

// The program's start sequence: the title, the main window's model, then the
// options dialog's. The options dialog copies the audio values of the main
// window when it is created, so the main window must have loaded them first.
class TRinglarkApplication {
  public:
    explicit TRinglarkApplication(TMainServices services);

    std::string Title;
    std::string HelpFile;

    TFormOptions FormOptions;
    TMainWindowModel MainModel;

    void Start();
};

}  // namespace ringlark
