// The engine starts its helpers from its own executable. A test binary that
// runs the engine's parts starts the built engine instead, never itself
// (which would run its tests in the helper's place).
#include "HelperProcess.h"

#include <cstdlib>
#include <string>

namespace {

const bool helpersFromTheEngine = [] {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    tidewell::engine::HelperProcess::executable = std::string(bundle && *bundle ? bundle : TIDEWELL_BUILT_BUNDLE) + "/bin/tidewell-engine";
    return true;
}();

}  // namespace
