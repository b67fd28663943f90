// Posix backend: the engine library through dlopen, and the engine image embedded in the program.
#include "platform.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstring>

// Defined by the program that carries the engine (an assembled .incbin of the library, with its
// 4-byte length in front); absent, and so null, in programs that carry none.
extern "C" const unsigned char orvan_engine_resource[] __attribute__((weak));

namespace platform {

std::span<const std::byte> EngineResource() {
  if (!orvan_engine_resource) return {};
  uint32_t length = 0;
  std::memcpy(&length, orvan_engine_resource, sizeof length);
  return {reinterpret_cast<const std::byte*>(orvan_engine_resource), sizeof length + length};
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::EngineEntryPoint() const { return dlsym(handle_, "PatchApply32"); }

}  // namespace platform
