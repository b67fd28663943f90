// RunPatchEngine: the one way the program calls the engine it carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "src/engine_host/engine_contract.h"

namespace engine_host {

inline constexpr int32_t EngineLoadFailed = 32770;

// Writes the carried engine to a "pdl" temporary file, checks it through the handle that holds
// it, loads it, calls PatchApply32 with /z "<own path>" <arguments>, unloads and deletes it (or,
// while a KeepEngineLoaded exists, keeps it for the next call).
// Returns the engine's result, or EngineLoadFailed when it could not be called; the player is then
// told why in one line (platform::ShowMessageBox).
int32_t RunPatchEngine(const std::string& arguments, EngineCallback callback, int32_t waitFlag);

// What RunPatchEngine takes from the platform, given explicitly.
struct EngineHost {
  std::string ownPath;
  std::string tempFolder;
  std::span<const std::byte> resource;  // 4-byte length, then the image
  // Tests only: called with the temporary file's path once the image is written and held.
  std::function<void(const std::string& path)> written = {};
};
int32_t RunPatchEngineWith(const EngineHost& host, const std::string& arguments,
                           EngineCallback callback, int32_t waitFlag);

// While one exists, the engine is written, checked and loaded at the first call only, and every
// later call with the same host uses that library: a run of several passes writes it once. It is
// unloaded and its file deleted when the last one goes. A call that fails to load it keeps nothing.
class KeepEngineLoaded {
 public:
  KeepEngineLoaded();
  ~KeepEngineLoaded();
  KeepEngineLoaded(const KeepEngineLoaded&) = delete;
  KeepEngineLoaded& operator=(const KeepEngineLoaded&) = delete;
};

// Tests put a scripted engine in the real one's place; an empty function restores it.
using EngineRunner = std::function<int32_t(const std::string& arguments, EngineCallback, int32_t)>;
void SetEngineRunnerForTesting(EngineRunner runner);

}  // namespace engine_host
