#include "app/About.h"

namespace ringlark {

void ShellOpen(IShell& shell, std::string_view target) {
    shell.Open(std::string(target.substr(0, ShellTextLimit)));
}

std::string SupportMailLink() {
    return "mailto:" + std::string(support::Email) + std::string(support::MailSubject);
}

void TAboutPage::Show(TAboutMode mode) {
    Mode = mode;
    if (mode == TAboutMode::About) {
        TabCaption = "About Ringlark";
        Lines = {TAboutLine{std::string(support::MakerNotice)},
                 TAboutLine{"Version 1.3.1 Build 037"}, TAboutLine{"MDMF Engine Version 2"},
                 TAboutLine{"FSK Analysis Engine Version 1.01"}};
        return;
    }
    TabCaption = "Contact/Support";
    Lines = {TAboutLine{"Questions? Comments?"},
             TAboutLine{"email: " + std::string(support::Email), LinkBlue, true, TCursor::Hand,
                        TLineAction::Mail},
             TAboutLine{"web: " + std::string(support::Web), LinkBlue, true, TCursor::Hand,
                        TLineAction::Web},
             TAboutLine{"Phone: " + std::string(support::Phone), PhoneBlue}};
}

void TAboutPage::ClickLine(int index, IShell& shell) const {
    if (index < 0 || index >= static_cast<int>(Lines.size())) {
        return;
    }
    switch (Lines[static_cast<std::size_t>(index)].Action) {
        case TLineAction::Mail:
            ShellOpen(shell, SupportMailLink());
            break;
        case TLineAction::Web:
            ShellOpen(shell, support::Web);
            break;
        case TLineAction::None:
            break;
    }
}

}  // namespace ringlark
