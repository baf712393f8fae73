#include "core/Services.h"

#include <gtest/gtest.h>

#include <new>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {
namespace {

class Recorder : public IErrorReporter {
  public:
    std::vector<std::string> Errors;
    void ReportError(const std::string& text) override { Errors.push_back(text); }
};

TEST(RunHandler, ShowsTheErrorTextAndGoesOn) {
    Recorder reporter;
    bool after = false;
    RunHandler(reporter, [] { throw RinglarkError(msg::CannotCreateFile("/x/y.wav")); });
    RunHandler(reporter, [&] { after = true; });
    EXPECT_EQ(reporter.Errors, std::vector<std::string>{"Cannot create file /x/y.wav"});
    EXPECT_TRUE(after);
}

TEST(RunHandler, OutOfMemoryHasItsOwnText) {
    Recorder reporter;
    RunHandler(reporter, [] { throw std::bad_alloc(); });
    EXPECT_EQ(reporter.Errors,
              std::vector<std::string>{"Out of memory while expanding memory stream"});
}

TEST(UserMessages, ExactTexts) {
    EXPECT_EQ(msg::CannotOpenFile("a.wav"), "Cannot open file a.wav");
    EXPECT_EQ(msg::NotValidInteger("12x"), "'12x' is not a valid integer value");
    EXPECT_EQ(msg::FailedToGetData("Clip"), "Failed to get data for 'Clip'");
    EXPECT_EQ(msg::InvalidDataType("Clip"), "Invalid data type for 'Clip'");
    EXPECT_EQ(msg::FailedToSetData("1"), "Failed to set data for '1'");
}

}  // namespace
}  // namespace ringlark
