// What the engine's tests share: file trees on disk, updaters built by the real builder, and a
// scripted callback that records every message and stops the pass where a test says.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "patchw32/include/patchw32.h"

namespace enginetest {

namespace fs = std::filesystem;

// Relative path -> contents; a folder is its path with a trailing '/' and no contents.
using Tree = std::map<std::string, std::string>;

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

void WriteTree(const fs::path& root, const Tree& tree);
// Every file and folder below root, the engine's own files included; anything else (a named
// pipe) as "(not a file)".
Tree ReadTree(const fs::path& root);
// Removes everything below root (root stays the same folder) and writes `tree` in its place.
void ResetTree(const fs::path& root, const Tree& tree);
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& contents);

// The bytes of a file that a code-like change touches in many places.
std::string CodeLike(size_t size, uint32_t seed);

// Builds an updater with orvan-mkpatch's build command: a stub, then the payload.
fs::path BuildUpdater(const fs::path& work, const Tree& oldTree, const Tree& newTree,
                      const std::vector<std::string>& records);

struct Event {
  int id = 0;
  std::string text;     // ids 2, 4, 7, 9
  uint32_t number = 0;  // ids 5, 6
};

// The callback's script: which call (counted from 0) gets the null reply, and whether the
// storage message (id 4 with "Insufficient Storage") is answered with "go on".
struct Script {
  int64_t stopAt = -1;
  bool goOnAfterStorage = true;
  std::vector<Event> events;
};

// Runs one pass: "-j", "-u " or "-u -b:<folder>", with the scripted callback.
int32_t RunPass(const fs::path& updater, const fs::path& folder, const std::string& passArguments, Script& script);

// RunPass in a child process that is ended after `seconds`: a pass that blocks fails the test
// instead of hanging it. The result is -1 when the child did not end by itself.
int32_t RunPassWithTimeout(const fs::path& updater, const fs::path& folder, const std::string& passArguments,
                           Script& script, unsigned seconds = 20);

// The events in short: "6:3 7:a.txt 5 8"; a run of id 5 is one "5"; id 9 shows "9:New" or
// "9:Applying"; ids 2 and 4 show only their number.
std::string Summary(const std::vector<Event>& events);

// The first event with this id whose text holds `phrase`, or null.
const Event* FindText(const std::vector<Event>& events, int id, const std::string& phrase);

}  // namespace enginetest
