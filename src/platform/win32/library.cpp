// Win32 backend: the engine library through LoadLibrary, and the engine resource of the program.
#include "platform.h"

#include <windows.h>

#include <cstring>

namespace platform {

namespace {
constexpr WORD kEngineResourceType = 20530;
constexpr WORD kEngineResourceId = 19274;
}  // namespace

std::span<const std::byte> EngineResource() {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(kEngineResourceId),
                              MAKEINTRESOURCEA(kEngineResourceType));
  if (!found) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::byte*>(bytes), SizeofResource(nullptr, found)};
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  HMODULE handle = LoadLibraryA(path.c_str());
  if (!handle) return nullptr;
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::EngineEntryPoint() const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(1)));
}

}  // namespace platform
