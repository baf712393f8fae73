#include "diagnosis/Advice.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/RinglarkError.h"

namespace ringlark {

namespace {

std::string ProgramFolder() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

}  // namespace

TAdviceBook TAdviceBook::FromText(const std::string& text, const std::string& name) {
    TAdviceBook book;
    book.path_ = name;
    try {
        const auto json = nlohmann::json::parse(text);
        for (const auto& item : json.at("advice")) {
            TAdviceEntry entry;
            entry.Receiver = item.at("receiver").get<std::string>();
            entry.Text = item.at("text").get<std::string>();
            entry.Source = item.at("source").get<std::string>();
            entry.Sure = item.value("sure", true);
            for (const auto& [key, value] : item.at("when").items()) {
                if (value.is_array()) {
                    entry.When[key] = value.get<std::vector<std::string>>();
                } else {
                    entry.When[key] = {value.get<std::string>()};
                }
            }
            book.entries_.push_back(std::move(entry));
        }
    } catch (const nlohmann::json::exception& e) {
        throw RinglarkError("The advice file " + name + " is not valid: " + e.what());
    }
    return book;
}

TAdviceBook TAdviceBook::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw RinglarkError("Cannot open file " + path);
    }
    std::stringstream text;
    text << in.rdbuf();
    return FromText(text.str(), path);
}

std::vector<std::string> TAdviceBook::SearchPaths() {
    std::vector<std::string> paths;
    if (const char* env = std::getenv("RINGLARK_ADVICE"); env != nullptr && *env != '\0') {
        paths.emplace_back(env);
    }
    if (const std::string folder = ProgramFolder(); !folder.empty()) {
        paths.push_back(folder + "/../share/ringlark/advice.json");
    }
#ifdef RINGLARK_BUILD_ADVICE
    paths.emplace_back(RINGLARK_BUILD_ADVICE);
#endif
#ifdef RINGLARK_INSTALLED_ADVICE
    paths.emplace_back(RINGLARK_INSTALLED_ADVICE);
#endif
    paths.emplace_back("/usr/share/ringlark/advice.json");
    return paths;
}

TAdviceBook TAdviceBook::LoadDefault() {
    for (const auto& path : SearchPaths()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            return Load(path);
        }
    }
    return {};
}

std::vector<TAdviceEntry> TAdviceBook::For(const TAdviceKeys& keys) const {
    std::vector<TAdviceEntry> found;
    for (const auto& entry : entries_) {
        const bool applies = std::all_of(entry.When.begin(), entry.When.end(), [&](const auto& w) {
            const auto it = keys.find(w.first);
            return it != keys.end() &&
                   std::any_of(w.second.begin(), w.second.end(),
                               [&](const std::string& v) { return it->second.count(v) > 0; });
        });
        if (applies) {
            found.push_back(entry);
        }
    }
    return found;
}

std::string ReceiverTitle(const std::string& receiver) {
    if (receiver == "phone") {
        return "Telephone or caller-ID box";
    }
    if (receiver == "modem") {
        return "Modem";
    }
    if (receiver == "software") {
        return "Telephony software";
    }
    return receiver;
}

}  // namespace ringlark
