#include "platform/fax_engine/fax_engine_loader.h"

#include "platform/fax_engine/modem_fax_engine.h"
#include "platform/fax_engine/simulated_fax_engine.h"

#include <cstdlib>
#include <mutex>

namespace fg::fax {

namespace {
std::mutex factoryMutex;
FaxEngineLoader::Factory& factory() {
    static FaxEngineLoader::Factory f;
    return f;
}
}  // namespace

std::shared_ptr<FaxEngine> FaxEngineLoader::load(const std::string& libraryName, long& systemError) {
    systemError = 0;
    Factory f;
    {
        std::lock_guard lock(factoryMutex);
        f = factory();
    }
    if (f) {
        auto engine = f(libraryName, systemError);
        if (!engine && systemError == 0) systemError = kModuleNotFound;
        return engine;
    }
    const char* choice = std::getenv(kEnvironment);
    std::string name = choice ? choice : "";
    if (name.empty() || name == "simulated") return std::make_shared<SimulatedFaxEngine>();
    if (name == "modem") return std::make_shared<ModemFaxEngine>();
    systemError = kModuleNotFound;
    return nullptr;
}

void FaxEngineLoader::setFactory(Factory f) {
    std::lock_guard lock(factoryMutex);
    factory() = std::move(f);
}

}  // namespace fg::fax
