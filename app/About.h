#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Color.h"

namespace ringlark {

// This project's own maker's notice and support contacts (no real company).
namespace support {
inline constexpr std::string_view MakerNotice = "Ringlark (c) 2026 the Ringlark developers";
inline constexpr std::string_view Email = "support@ringlark.invalid";
inline constexpr std::string_view Web = "https://ringlark.invalid/support";
inline constexpr std::string_view Phone = "+1 555 0100";
inline constexpr std::string_view MailSubject = "?subject=Ringlark%20Support%20Inquiry";
}  // namespace support

// Desktop shell: opens a document, a web page or a mail link with its default
// action. The result is ignored.
class IShell {
  public:
    virtual ~IShell() = default;
    virtual void Open(const std::string& target) = 0;
};

// Each text passed to the shell is a zero-terminated copy of at most 79 characters.
inline constexpr std::size_t ShellTextLimit = 79;
void ShellOpen(IShell& shell, std::string_view target);

inline constexpr TColor LinkBlue{166, 202, 240};
inline constexpr TColor PhoneBlue{128, 128, 255};

enum class TLineAction { None, Mail, Web };
enum class TCursor { Arrow, Hand };

struct TAboutLine {
    std::string Text;
    TColor Color = White;
    bool Underlined = false;
    TCursor Cursor = TCursor::Arrow;
    TLineAction Action = TLineAction::None;
    bool operator==(const TAboutLine&) const = default;
};

enum class TAboutMode { About, Support };

// TabSheetAbout: the page shared by "&About Ringlark" and "&Contact/Support".
struct TAboutPage {
    static constexpr std::string_view Font = "Arial";
    static constexpr int FontPixels = 18;

    TAboutMode Mode = TAboutMode::About;
    std::string TabCaption;
    std::array<TAboutLine, 4> Lines;  // Label21 to Label24

    void Show(TAboutMode mode);
    // Label22Click / Label23Click and the others; lines without an action do nothing.
    void ClickLine(int index, IShell& shell) const;
};

std::string SupportMailLink();

}  // namespace ringlark
