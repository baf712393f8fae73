#include "core/Services.h"

#include <new>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

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
