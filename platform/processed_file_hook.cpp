#include "platform/processed_file_hook.h"

#include "platform/error_log.h"

#include <mutex>
#include <vector>

namespace fg {

void ProcessedFileHook::fileDone(const std::string& name, bool& ok) {
    writeDebugLine("ProcessedFileHook", "fileDone " + name);
    ok = true;
}

namespace {
std::mutex hookMutex;
std::shared_ptr<ProcessedFileHook>& slot() {
    static std::shared_ptr<ProcessedFileHook> hook = std::make_shared<ProcessedFileHook>();
    return hook;
}
}  // namespace

ProcessedFileHook& ProcessedFileHook::current() {
    std::lock_guard lock(hookMutex);
    return *slot();
}

void ProcessedFileHook::install(std::shared_ptr<ProcessedFileHook> hook) {
    std::lock_guard lock(hookMutex);
    // current() hands out references: a replaced hook lives on.
    static std::vector<std::shared_ptr<ProcessedFileHook>> retired;
    retired.push_back(slot());
    slot() = hook ? std::move(hook) : std::make_shared<ProcessedFileHook>();
}

}  // namespace fg
