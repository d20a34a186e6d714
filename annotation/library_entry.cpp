// The module starts when the library is loaded, as the caller expects of
// it. Its exit runs on DllMain's detach; nothing runs it at unload, because
// at the end of the process the desktop layer's own state may already be
// gone, and everything the exit frees goes with the process anyway.
#include "annotation/zentrel.h"

namespace {

__attribute__((constructor)) void attachProcess() { DllMain(nullptr, 1, nullptr); }

}  // namespace
