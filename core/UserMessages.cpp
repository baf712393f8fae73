#include "core/UserMessages.h"

namespace ringlark::msg {

namespace {
std::string Fill(std::string_view before, std::string_view value, std::string_view after) {
    std::string text(before);
    text += value;
    text += after;
    return text;
}
}  // namespace

std::string CannotCreateFile(std::string_view path) {
    return Fill("Cannot create file ", path, "");
}
std::string CannotOpenFile(std::string_view path) {
    return Fill("Cannot open file ", path, "");
}
std::string NotValidInteger(std::string_view text) {
    return Fill("'", text, "' is not a valid integer value");
}
std::string FailedToGetData(std::string_view valueName) {
    return Fill("Failed to get data for '", valueName, "'");
}
std::string InvalidDataType(std::string_view valueName) {
    return Fill("Invalid data type for '", valueName, "'");
}
std::string FailedToSetData(std::string_view valueName) {
    return Fill("Failed to set data for '", valueName, "'");
}

}  // namespace ringlark::msg
