// The error numbers of the set-up tools. The resource update tool reports
// the platform's own numbers; the registry tool adds one of its own.
#pragma once

namespace fg::tools_errors {

// The registry tool's work with the registry program failed: an export
// missing, empty or not naming its key, the program failing or not ending.
inline constexpr long RegistryCopyFailed = 9999;

}  // namespace fg::tools_errors
