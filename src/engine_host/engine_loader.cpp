// Carrying the engine: resource -> held temporary file -> checked -> loaded -> called -> cleaned up
// (after one call, or when the run that keeps it loaded ends).
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

// The engine a KeepEngineLoaded holds, and the host it was written for.
struct LoadedEngine {
  std::string ownPath;
  std::string tempFolder;
  std::span<const std::byte> resource;
  // Declared before the library, so that the library is unloaded before the file is deleted.
  std::unique_ptr<platform::HeldLibraryFile> file;
  std::unique_ptr<platform::DynamicLibrary> library;
  EntryPoint entry = nullptr;

  bool For(const EngineHost& host) const {
    return host.ownPath == ownPath && host.tempFolder == tempFolder && host.resource.data() == resource.data() &&
           host.resource.size() == resource.size();
  }
};

struct Keeping {
  int holders = 0;
  std::unique_ptr<LoadedEngine> engine;
};

Keeping& Kept() {
  static Keeping keeping;
  return keeping;
}

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

  Keeping& kept = Kept();
  if (kept.engine && kept.engine->For(host)) return kept.engine->entry(commandLine.c_str(), callback, waitFlag);

  auto engine = std::make_unique<LoadedEngine>();
  engine->file = platform::HeldLibraryFile::Write(host.tempFolder, "pdl", *image);
  if (!engine->file) return CannotStart("the temporary folder " + host.tempFolder + " is full or not writable");
  if (host.written) host.written(engine->file->Path());
  if (!engine->file->Holds(*image))
    return CannotStart("its copy in the temporary folder " + host.tempFolder + " was changed before it was loaded");

  std::string reason;
  engine->library = engine->file->Load(reason);
  if (!engine->library)
    return CannotStart("the library written to the temporary folder " + host.tempFolder + " was refused (" + reason + ")");
  engine->entry = reinterpret_cast<EntryPoint>(engine->library->EngineEntryPoint());
  if (!engine->entry) return CannotStart("the library written to " + host.tempFolder + " has no entry point");
  if (kept.holders == 0) return engine->entry(commandLine.c_str(), callback, waitFlag);
  engine->ownPath = host.ownPath;
  engine->tempFolder = host.tempFolder;
  engine->resource = host.resource;
  kept.engine = std::move(engine);
  return kept.engine->entry(commandLine.c_str(), callback, waitFlag);
}

int32_t RunPatchEngine(const std::string& arguments, EngineCallback callback, int32_t waitFlag) {
  if (Override()) return Override()(arguments, callback, waitFlag);
  EngineHost host{platform::OwnModulePath(), platform::TempFolder(), platform::EngineResource()};
  return RunPatchEngineWith(host, arguments, callback, waitFlag);
}

KeepEngineLoaded::KeepEngineLoaded() { ++Kept().holders; }

KeepEngineLoaded::~KeepEngineLoaded() {
  Keeping& kept = Kept();
  if (--kept.holders == 0) kept.engine.reset();
}

void SetEngineRunnerForTesting(EngineRunner runner) { Override() = std::move(runner); }

}  // namespace engine_host
