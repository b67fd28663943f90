// One engine pass over the installation folder, reported to the run's window.
#pragma once

#include <cstdint>
#include <string>

#include "src/engine_host/engine_contract.h"
#include "src/update/run_window.h"

namespace update {

enum class PassChanges { Nothing, Installation };

// Runs the engine with "<InstallPath>" <switches>, the window registered for the callback. While a
// pass may change the installation, a shutdown or log-off is asked to wait for its end.
int32_t RunEnginePass(RunWindow& window, const std::string& switches, engine_host::EngineCallback callback,
                      PassChanges changes);

}  // namespace update
