#include "Services.h"

#include <new>

#include "RinglarkError.h"
#include "UserMessages.h"

namespace ringlark {

void RunHandler(IErrorReporter& reporter, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RinglarkError& error) {
        reporter.ReportError(error.what());
    } catch (const std::bad_alloc&) {
        reporter.ReportError(std::string(msg::OutOfMemoryStream));
    }
}

}  // namespace ringlark
