// Loads the fax engine a control asks for by library name.
//
// Which engine stands behind the name is chosen by the environment variable
// FAXGATE_FAX_ENGINE:
//   unset, "" or "simulated"  the simulated lines below the program folder's
//                             "FaxLines/" (simulated_fax_engine.h)
//   "modem"                   fax modems on serial devices, the program
//                             folder's faxports.xml naming the device of
//                             each port (modem_fax_engine.h)
//   anything else ("none")    no engine: the load fails with the system
//                             error 126 (module not found), and the control
//                             takes its load-failure path
// Tests install a factory of their own instead.
#pragma once

#include "platform/fax_engine/fax_engine.h"

#include <functional>
#include <memory>
#include <string>

namespace fg::fax {

class FaxEngineLoader {
public:
    static constexpr const char* kEnvironment = "FAXGATE_FAX_ENGINE";
    static constexpr long kModuleNotFound = 126;

    // A new engine for one control, or nullptr with `systemError` set.
    static std::shared_ptr<FaxEngine> load(const std::string& libraryName, long& systemError);

    using Factory = std::function<std::shared_ptr<FaxEngine>(const std::string& libraryName, long& systemError)>;
    // Replaces the environment's choice; an empty factory restores it.
    static void setFactory(Factory factory);
};

}  // namespace fg::fax
