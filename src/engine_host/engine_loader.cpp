// Carrying the engine: resource -> held temporary file -> checked -> loaded -> one call -> cleaned up.
#include "src/engine_host/engine_loader.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "platform/desktop.h"
#include "platform/files.h"

namespace engine_host {
namespace {

EngineRunner& Override() {
  static EngineRunner runner;
  return runner;
}

using EntryPoint = int32_t(PATCHW32_CALL*)(const char*, PatchCallback, int32_t);

// The library image behind the resource's 4-byte length; nothing when the length lies.
std::optional<std::span<const std::byte>> ImageOf(std::span<const std::byte> resource) {
  uint32_t length = 0;
  if (resource.size() < sizeof length) return std::nullopt;
  std::memcpy(&length, resource.data(), sizeof length);
  if (length > resource.size() - sizeof length) return std::nullopt;
  return resource.subspan(sizeof length, length);
}

// A player left with nothing to go on cannot act: every way the engine fails to start is said,
// with the folder or file concerned.
int32_t CannotStart(const std::string& reason) {
  platform::ShowMessageBox("The update engine could not be started: " + reason + ".", "Error");
  return EngineLoadFailed;
}

}  // namespace

int32_t RunPatchEngineWith(const EngineHost& host, const std::string& arguments,
                           EngineCallback callback, int32_t waitFlag) {
  // Built to its real length: an argument text of any length fits.
  std::string commandLine = "/z \"" + host.ownPath + "\" " + arguments;

  auto image = ImageOf(host.resource);
  if (!image) return CannotStart("the program " + host.ownPath + " does not carry it whole");
  // The engine reads the patch from this file.
  if (!platform::File::Open(host.ownPath, platform::File::Mode::Read))
    return CannotStart("the program cannot read its own file " + host.ownPath);

  // Declared before the library, so that the library is unloaded before the file is deleted.
  auto file = platform::HeldLibraryFile::Write(host.tempFolder, "pdl", *image);
  if (!file) return CannotStart("the temporary folder " + host.tempFolder + " is full or not writable");
  if (host.written) host.written(file->Path());
  if (!file->Holds(*image))
    return CannotStart("its copy in the temporary folder " + host.tempFolder + " was changed before it was loaded");

  std::string reason;
  auto library = file->Load(reason);
  if (!library)
    return CannotStart("the library written to the temporary folder " + host.tempFolder + " was refused (" + reason + ")");
  auto entry = reinterpret_cast<EntryPoint>(library->EngineEntryPoint());
  if (!entry) return CannotStart("the library written to " + host.tempFolder + " has no entry point");
  return entry(commandLine.c_str(), callback, waitFlag);
}

int32_t RunPatchEngine(const std::string& arguments, EngineCallback callback, int32_t waitFlag) {
  if (Override()) return Override()(arguments, callback, waitFlag);
  EngineHost host{platform::OwnModulePath(), platform::TempFolder(), platform::EngineResource()};
  return RunPatchEngineWith(host, arguments, callback, waitFlag);
}

void SetEngineRunnerForTesting(EngineRunner runner) { Override() = std::move(runner); }

}  // namespace engine_host
