// class Update: what the payload says the patch is, and what the run finds; one global PatchInfo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/patchinfo/version.h"

using TextList = std::vector<std::string>;

class Update {
 public:
  bool Valid = false;
  bool SkipVersionCheck = false;
  bool Backup = false;
  bool Mismatch = false;
  // 64-bit: a patch may need more than 2 GiB.
  int64_t RequiredBytes = 0;
  std::string ProductName;
  std::string ShortName;
  std::string ExeName;
  Version ToVersion;
  Version FromVersion;
  Version InstalledVersion;
  Version ExpansionVersion;
  std::string UtilityVersion = "1.10";
  std::string InstallPath;
  TextList FilesToPatch;
  TextList ExpansionFilesToPatch;
  TextList ExpansionVersions;
  TextList ExpansionExtensions;
  TextList ExpansionIds;
  TextList ExpansionNames;
  TextList ChecksumFiles;
  TextList ChecksumValues;
  TextList ChecksumLengths;
  TextList ChecksumVersions;
  TextList RegistryKeys;
};

extern Update PatchInfo;
