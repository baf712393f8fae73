#pragma once

// What to set or check, per kind of receiver, loaded from a data file
// (advice.json) so that it can grow without code changes. Each entry says
// when it applies (the diagnosis' standard, placement, alert, findings), for
// which receiver, what to do, where that comes from, and whether the source
// is sure of it.
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ringlark {

struct TAdviceEntry {
    std::string Receiver;  // "phone", "modem", "software"
    // Each key's accepted values; an entry applies when every key it names
    // has one of them among the diagnosis' values for that key.
    std::map<std::string, std::vector<std::string>> When;
    std::string Text;
    std::string Source;
    bool Sure = true;
};

// A diagnosis' values by key: "standard", "placement", "alert", "finding".
using TAdviceKeys = std::map<std::string, std::set<std::string>>;

class TAdviceBook {
  public:
    // Throws RinglarkError when the file cannot be read or is not an advice
    // file: {"advice": [{"receiver", "when", "text", "source", "sure"?}]}.
    static TAdviceBook Load(const std::string& path);
    static TAdviceBook FromText(const std::string& text, const std::string& name = "advice");
    // The file found first of: $RINGLARK_ADVICE, ../share/ringlark/advice.json
    // beside the program, the build tree's copy, the installed one
    // (/usr/share/ringlark). An empty book when none is found.
    static TAdviceBook LoadDefault();
    // Where LoadDefault looks, in order.
    static std::vector<std::string> SearchPaths();

    const std::string& Path() const { return path_; }
    const std::vector<TAdviceEntry>& Entries() const { return entries_; }
    // The entries that apply, in the file's order.
    std::vector<TAdviceEntry> For(const TAdviceKeys& keys) const;

  private:
    std::string path_;
    std::vector<TAdviceEntry> entries_;
};

// "Telephone or caller-ID box", "Modem", "Telephony software".
std::string ReceiverTitle(const std::string& receiver);

}  // namespace ringlark
