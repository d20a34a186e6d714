// Told of each file that a job has finished with. The default only writes a
// debug line; a test or an installation may put its own in place.
#pragma once

#include <memory>
#include <string>

namespace fg {

class ProcessedFileHook {
public:
    virtual ~ProcessedFileHook() = default;
    virtual void fileDone(const std::string& name, bool& ok);

    // The hook in force for this process.
    static ProcessedFileHook& current();
    static void install(std::shared_ptr<ProcessedFileHook> hook);  // nullptr restores the default
};

}  // namespace fg
