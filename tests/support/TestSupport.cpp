#include "tests/support/TestSupport.h"

#include "core/RinglarkError.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ringlark::test {

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RinglarkError& error) {
        return error.what();
    }
    return "(no error)";
}

Bytes HexBytes(std::string_view hex) {
    Bytes out;
    int high = -1;
    for (char c : hex) {
        if (c == ' ') {
            continue;
        }
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            throw std::invalid_argument("bad hex in test data");
        }
        if (high < 0) {
            high = digit;
        } else {
            out += static_cast<char>(high * 16 + digit);
            high = -1;
        }
    }
    if (high >= 0) {
        throw std::invalid_argument("odd hex in test data");
    }
    return out;
}

std::string ToHex(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(c));
        if (!out.empty()) {
            out += ' ';
        }
        out += text;
    }
    return out;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

TTempDir::TTempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ringlark-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool TScriptedFileDialog::Execute() {
    Showings.push_back({Title, DefaultExt, Filter, InitialDir, FileName});
    if (Answers.empty()) {
        ADD_FAILURE() << "file dialog shown with no scripted answer";
        return false;
    }
    auto answer = Answers.front();
    Answers.pop_front();
    if (!answer) {
        return false;
    }
    FileName = *answer;
    return true;
}

TDialogAnswer TScriptedNotices::AskYesNoCancel(const std::string& text) {
    Questions.push_back(text);
    if (Answers.empty()) {
        ADD_FAILURE() << "question asked with no scripted answer: " << text;
        return TDialogAnswer::Cancel;
    }
    const TDialogAnswer answer = Answers.front();
    Answers.pop_front();
    return answer;
}

}  // namespace ringlark::test
