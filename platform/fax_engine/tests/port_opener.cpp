// Another program that tries the simulated lines: opens the port given and
// ends with the engine's answer as its exit code.
#include "platform/fax_engine/simulated_fax_engine.h"

#include <cstdint>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) return 100;
    fg::fax::SimulatedFaxEngine engine;
    std::int32_t handle = 0;
    return engine.PortOpen(&handle, static_cast<std::int16_t>(std::atoi(argv[1])), "ATZ");
}
