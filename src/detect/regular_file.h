// Detection opens only regular files: a named pipe where a game file is expected would block the
// open for ever, and a device might act on being opened, so such an entry is passed over unopened.
#pragma once

#include <memory>
#include <string>

#include "platform/files.h"

// Whether `path` (spelled as on disk) names a regular file.
inline bool IsRegularFile(const std::string& path) {
  return platform::KindOf(path) == platform::PathKind::File;
}

// The file at `path`, its components matched to the names on disk, opened for reading; null when
// it is missing, unreadable or anything but a regular file.
inline std::unique_ptr<platform::File> OpenRegularFile(const std::string& path) {
  std::string onDisk = platform::FindOnDisk(path);
  if (!IsRegularFile(onDisk)) return nullptr;
  return platform::File::Open(onDisk, platform::File::Mode::Read);
}
