// Which paths a payload may name: only ones that stay inside the installation folder.
#pragma once

#include <cstddef>
#include <string_view>

namespace payload {

// Every name the engine gives its own files (staged contents, set-aside originals, the journal)
// ends in this; no payload entry may, so that they never meet.
inline constexpr std::string_view kEngineFileSuffix = ".orvan~";

// Relative, plain, inside the folder: no drive, stream, device, "..", or empty component.
bool IsSafeRelativePath(std::string_view path, size_t maxLength = 1024);
// A safe relative path that names none of the engine's own files.
bool IsSafeEntryPath(std::string_view path);

}  // namespace payload
