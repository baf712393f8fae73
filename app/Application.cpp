#include "app/Application.h"

namespace ringlark {

TRinglarkApplication::TRinglarkApplication(TMainServices services)
    : MainModel(services, FormOptions) {}

void TRinglarkApplication::Start() {
    Title = std::string(TMainWindowModel::Title);
    HelpFile.clear();
    MainModel.Initialise();
    FormOptions.Initialise(MainModel.Config.Amplitude, MainModel.Config.Clip);
    ShowSystemChoices(FormOptions, MainModel.Config);
}

}  // namespace ringlark
