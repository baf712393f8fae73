#include "app/Application.h"

namespace ringlark {

TRinglarkApplication::TRinglarkApplication(TMainServices services) : Form1(services, FormOptions) {}

void TRinglarkApplication::Start() {
    Title = std::string(TForm1::Title);
    HelpFile.clear();
    Form1.Initialise();
    Created.emplace_back(WindowCreationOrder[0]);
    FormOptions.Initialise(Form1.Config.Amplitude, Form1.Config.Clip);
    Created.emplace_back(WindowCreationOrder[1]);
    for (std::size_t i = 2; i < WindowCreationOrder.size(); ++i) {
        Created.emplace_back(WindowCreationOrder[i]);
    }
}

}  // namespace ringlark
