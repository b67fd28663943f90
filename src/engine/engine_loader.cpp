// Carrying the engine: resource -> temporary file -> loaded library -> one call -> cleaned up.
#include "engine_loader.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "platform.h"

namespace engine {
namespace {

EngineRunner& Override() {
  static EngineRunner runner;
  return runner;
}

// The temporary file goes with the scope, whichever way it is left (the library is unloaded
// first: it is declared after this guard).
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() { platform::RemoveFile(path_); }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

using EntryPoint = int32_t(PATCHW32_CALL*)(const char*, PatchCallback, int32_t);

}  // namespace

int32_t RunPatchEngineWith(const EngineHost& host, const std::string& arguments,
                           EngineCallback callback, int32_t waitFlag) {
  // Built to its real length: an argument text of any length fits.
  std::string commandLine = "/z \"" + host.ownPath + "\" " + arguments;

  auto tempPath = platform::CreateTempFile(host.tempFolder, "pdl");
  if (!tempPath) return EngineLoadFailed;
  TempFileGuard tempFile(*tempPath);

  uint32_t imageLength = 0;
  if (host.resource.size() < sizeof imageLength) return EngineLoadFailed;
  std::memcpy(&imageLength, host.resource.data(), sizeof imageLength);
  if (imageLength > host.resource.size() - sizeof imageLength) return EngineLoadFailed;
  {
    auto file = platform::File::Open(tempFile.Path(), platform::File::Mode::CreateTruncate);
    if (!file) return EngineLoadFailed;
    if (!file->WriteAt(0, host.resource.subspan(sizeof imageLength, imageLength))) return EngineLoadFailed;
  }

  auto library = platform::DynamicLibrary::Load(tempFile.Path());
  if (!library) return EngineLoadFailed;
  auto entry = reinterpret_cast<EntryPoint>(library->EngineEntryPoint());
  if (!entry) return EngineLoadFailed;
  return entry(commandLine.c_str(), callback, waitFlag);
}

int32_t RunPatchEngine(const std::string& arguments, EngineCallback callback, int32_t waitFlag) {
  if (Override()) return Override()(arguments, callback, waitFlag);
  EngineHost host{platform::OwnModulePath(), platform::TempFolder(), platform::EngineResource()};
  return RunPatchEngineWith(host, arguments, callback, waitFlag);
}

void SetEngineRunnerForTesting(EngineRunner runner) { Override() = std::move(runner); }

}  // namespace engine
