#include "settings/member_guard.h"

#include "platform/error_log.h"

#include <exception>
#include <new>

namespace fg::settings {

Error currentError() {
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error::standard(errnum::OutOfMemory);
    } catch (const std::exception& e) {
        // A library failure that is not ours: keep its words for the log.
        return Error(51, std::string("内部エラーが発生しました。") + e.what());
    } catch (...) {
        return Error(51, "内部エラーが発生しました。");
    }
}

void logError(const std::string& source, const Error& error) noexcept { ErrorLogWriter().writeError(source, error); }

void traceFailure(const std::string& source, const Error& error) noexcept {
    writeDebugLine(source, std::to_string(error.number()) + " " + error.description());
}

}  // namespace fg::settings
