#include "fax_images/pellior/page_files.h"

#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"

#include <exception>
#include <new>

namespace fg::pellior {

std::string folder(const char* key) { return fs::withSlash(FolderPathInfo().getFolderPath(key)); }

void checkPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos ||
        name.find('\0') != std::string::npos)
        throw Error(errnum::BadFileNameOrNumber,
                    Error::standardText(errnum::BadFileNameOrNumber) + " \"" + name + "\"");
}

void deleteFile(const std::string& path) {
    auto found = fs::resolve(path);
    if (!found) throw Error(errnum::FileNotFound, Error::standardText(errnum::FileNotFound) + " " + path);
    if (!fs::removeFile(*found))
        throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
}

Error statusError(long status, const std::string& what, const Error* underlying) {
    std::string description = what;
    if (underlying) description += ": " + underlying->description();
    return Error(status, description);
}

void logError(const std::string& source, const Error& error) noexcept { ErrorLogWriter().writeError(source, error); }

void logCurrentException(const std::string& source) noexcept {
    try {
        throw;
    } catch (const Error& e) {
        logError(source, e);
    } catch (const std::bad_alloc&) {
        logError(source, Error::standard(errnum::OutOfMemory));
    } catch (const std::exception& e) {
        logError(source, Error(errnum::InvalidProcedureCall, e.what()));
    } catch (...) {
        logError(source, Error(errnum::InvalidProcedureCall, "unknown exception"));
    }
}

}  // namespace fg::pellior
