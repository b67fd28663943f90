// Which game version, and which expansion version, the installation folder holds.
#pragma once

#include <cstdint>
#include <string>

#include "src/detect/xpd_manager.h"
#include "src/patchinfo/patch_info.h"
#include "src/patchinfo/version.h"

// The version stamp: "Windows only.\r\n" at offset 78 of the executable, the version text in the
// 16 bytes from offset 94 (up to the first zero byte, or what the file holds of them). Returns 1
// and fills `target` when the marker is there, else 0.
int ReadExeVersionStamp(const std::string& path, Version& target);

// The XOR of the little-endian 32-bit words that begin below `length` (-1: the whole file; any
// other value taken as an unsigned count). A last word the file holds only in part has zero
// high-order bytes. 0 when the file can't be opened.
uint32_t XorChecksum(const std::string& path, int32_t length);

// A checksum record's number: an optionally signed decimal 32-bit integer, else
// platform::FrameworkError "'<text>' is not a valid integer value".
int32_t ParseInt32(const std::string& text);

// Sets InstalledVersion from the stamp, else from the first checksum record that matches, and
// then, only when one of them did, ExpansionVersion from the last expansion data file (by name)
// whose identifier the payload lists. Returns 1 when the game version was determined, else 0.
// A malformed checksum number raises platform::FrameworkError and ends the detection.
int DetectInstalledVersion(Update& info = PatchInfo, XPDManager& expansions = Expansions);
