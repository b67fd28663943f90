// The installation folder as the engine sees it: payload paths resolved to files on disk, the
// names of the engine's own files, and which files the program's version detection reads.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The entry's path as the host is shown it: relative, lower case, with the platform's separator.
std::string ShownName(const std::string& payloadPath);

// The engine's own files beside a target and in the installation folder (all end in ".orvan~",
// which no payload entry may).
inline constexpr const char* kStagedSuffix = ".new.orvan~";
inline constexpr const char* kSetAsideSuffix = ".old.orvan~";
inline constexpr const char* kJournalName = "update-journal.orvan~";
inline constexpr const char* kJournalTempName = "update-journal.tmp.orvan~";

class Installation {
 public:
  explicit Installation(std::string folder);

  const std::string& Folder() const { return folder_; }
  // '/'-separated relative paths <-> full paths inside the folder.
  std::string Full(const std::string& relative) const;
  std::string Relative(const std::string& full) const;

  // The relative path on disk of a payload path: existing components spelled as on disk; a
  // missing folder that an earlier path named is spelled as that path did, so both share it.
  std::string Resolve(const std::string& payloadPath);

  // The folders of `relative` (not its last component) that don't exist, parents first.
  std::vector<std::string> MissingFolders(const std::string& relative) const;

 private:
  std::string folder_;
  std::map<std::string, std::string> plannedFolders_;  // folded relative path -> its spelling
};

// The files the program's version detection reads: the executable of the versions record, the
// files of the checksum records, and the expansion files (an expansion record's extension). The
// commit swaps them in last, the executable the very last; undoing puts them back first.
class DetectionFiles {
 public:
  explicit DetectionFiles(const std::vector<std::string>& records);
  // 0 for other files, 1 for a checksum record's file or an expansion file, 2 for the executable.
  int CommitRank(const std::string& payloadPath) const;

 private:
  std::string executable_;
  std::vector<std::string> checksumFiles_;
  std::vector<std::string> expansionExtensions_;  // folded, cut to three characters as the program does
};

}  // namespace engine
