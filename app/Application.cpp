#include "app/Application.h"

namespace ringlark {

TRinglarkApplication::TRinglarkApplication(TMainServices services) : Form1(services, FormOptions) {}

void TRinglarkApplication::Start() {
    Title = std::string(TForm1::Title);
    HelpFile.clear();
    Form1.Initialise();
    FormOptions.Initialise(Form1.Config.Amplitude, Form1.Config.Clip);
    FormOptions.Settings.Standard = Form1.Config.Standard;
}

}  // namespace ringlark
