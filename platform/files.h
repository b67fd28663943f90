// What all three programs (the updater, the engine, the builder) ask of the operating system:
// files, folders and the names on disk, renames and flushes, the installation lock, free space,
// and the few facts about the running process that they need. Two backends implement it,
// win32/ (the real calls) and posix/ (their stand-ins on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// ---- Paths ----

// '\' on Windows, '/' on posix: wherever a folder and a name are joined.
char PathSeparator();

// Whether `c` ends the folder part of a path: '\' or ':' on Windows, '/' on posix.
bool EndsFolderPart(char c);

// The folder for temporary files, without a trailing separator.
std::string TempFolder();

// The current folder of the process (a full path); empty when it cannot be read.
std::string CurrentFolder();

// Lower-cases with the letters of the active code page (UTF-8 on posix, by character; bytes that
// are not UTF-8 stay as they are).
std::string AnsiLowerCase(std::string text);

// ---- Files ----

// A file read and written at 64-bit offsets; closed when destroyed. Only regular files open:
// a named pipe, device, socket or folder is refused at once, never waited on.
class File {
 public:
  enum class Mode { Read, ReadWrite, CreateTruncate };
  static std::unique_ptr<File> Open(const std::string& path, Mode mode);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::optional<uint64_t> Size() const;
  // Reads exactly buffer.size() bytes at offset, or fails.
  bool ReadAt(uint64_t offset, std::span<std::byte> buffer) const;
  bool WriteAt(uint64_t offset, std::span<const std::byte> data);
  bool Flush();
  // Lets the system start writing [offset, offset + length) to the disk now, without waiting
  // for it, so that a later Flush has less left to wait for. Only a hint: nothing to do where
  // the system writes back on its own.
  void StartWriteback(uint64_t offset, uint64_t length);

 private:
  explicit File(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;
};

// A whole file mapped read-only into memory; unmapped when destroyed.
class MappedFile {
 public:
  static std::unique_ptr<MappedFile> Open(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::span<const std::byte> Bytes() const { return {static_cast<const std::byte*>(data_), size_}; }
  // Drops the pages of `bytes` (a part of Bytes()) from the process's memory; they are read from
  // the file again when next touched. On Windows they leave the working set (VirtualUnlock).
  void Release(std::span<const std::byte> bytes) const;

 private:
  MappedFile(const void* data, size_t size, intptr_t handle) : data_(data), size_(size), handle_(handle) {}
  const void* data_;
  size_t size_;
  intptr_t handle_;
};

enum class PathKind { Missing, File, Folder, Other };
PathKind KindOf(const std::string& path);

bool RemoveFile(const std::string& path);
// Renames a file or folder within one file system; `to` must not exist.
bool RenamePath(const std::string& from, const std::string& to);
// Gives the file `existing` a second name, `link` (a hard link), which must not exist. False
// where the file system has no hard links (FAT32, exFAT): then the caller renames instead.
bool LinkFile(const std::string& existing, const std::string& link);
// Renames a file over `to` in one step: a reader sees the old file or the new one, never neither.
bool ReplaceByRename(const std::string& from, const std::string& to);
// Makes durable the renames and creations in `folder` (fsync on posix; Windows writes through).
bool FlushFolder(const std::string& folder);

// False when the file is read-only (no owner write permission on posix, the read-only attribute
// on Windows) or another program holds it so that it can't be written or renamed.
bool CanReplaceFile(const std::string& path);
// Gives `to` the permission bits of `from` (posix); nothing to do on Windows.
bool CopyFileMode(const std::string& from, const std::string& to);
// Lets everyone run the file (posix); nothing to do on Windows, where the name makes a program.
bool MarkExecutable(const std::string& path);

// ---- Folders ----

// Creates one folder level; false when it exists already or can't be made.
bool MakeFolder(const std::string& path);
bool RemoveEmptyFolder(const std::string& path);

// The names in a folder, without "." and ".."; nothing when the folder can't be read, so that an
// unreadable folder is never taken for an empty one.
std::optional<std::vector<std::string>> FolderEntries(const std::string& folder);
// The same, empty when the folder can't be read: for callers to whom that is all one.
inline std::vector<std::string> ListFolder(const std::string& folder) {
  return FolderEntries(folder).value_or(std::vector<std::string>{});
}

// What names `folder` whatever path leads to it: its inode number on posix, its file index on
// Windows, nothing when it can't be read. Only the number: the Linux program and the Windows one
// under Wine see the same folder of a Wine prefix (Wine reports the inode as the file index), so a
// journal one of them wrote is the other's too.
std::optional<std::string> FolderIdentity(const std::string& folder);

// A directory search as FindFirstFileA/FindNextFileA/FindClose: the entries of the pattern's
// folder whose names match its last component ('*' and '?', without regard to case), folders
// included. Ended when destroyed.
class DirectorySearch {
 public:
  // Null when nothing matches or the folder does not exist.
  static std::unique_ptr<DirectorySearch> Start(const std::string& pattern);
  ~DirectorySearch();
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  // The current match's long name, as stored on disk.
  const std::string& Name() const { return name_; }
  // Moves to the next match; false when there is none.
  bool Next();

  struct State;

 private:
  explicit DirectorySearch(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
  std::string name_;
};

// ---- Which file Windows would open for a name ----
// Windows ignores the letter case of names; the posix backend resolves each component that
// exists in another case to its name on disk (the exact name when there is one, else the first
// case variant in byte order), so that the payload's lower-cased names find mixed-case files.

// `path` with each component that exists in another letter case replaced by its name on disk;
// from the first component not found on, the rest is kept as written. Unchanged on Windows.
std::string FindOnDisk(const std::string& path);

// Writes into `expanded` the same path with every component in the long form stored on disk;
// returns false, leaving `expanded` untouched, when `path` itself can't be found.
bool ExpandLongPath(const std::string& path, std::string& expanded);

// `folder` joined with `relative` ('/'-separated) by the platform's separator. Each component
// that exists is spelled as on disk; components that don't exist keep the given spelling.
std::string ResolveInFolder(const std::string& folder, const std::string& relative);

// ---- Free space ----

// Bytes available to this user on the file system that holds `folder`.
std::optional<uint64_t> FreeBytes(const std::string& folder);

// The volume that holds a folder, as the player is told about it.
struct Volume {
  // The drive when the folder names one ("d:..."). Else on Windows the current folder's drive
  // (a share or a relative path is taken to be on it); on posix nothing.
  std::optional<char> DriveLetter;
  // "drive d:" for a drive (its letter as written); else "the file system holding <folder>".
  std::string Name;
  // Bytes available to this user on it; nothing when they can't be read.
  std::optional<uint64_t> AvailableBytes;
};
Volume VolumeHolding(const std::string& folder);

// ---- The installation lock ----

// One update at a time: an exclusive hold on an installation folder, dropped by the system when
// the process ends, however it ends. It is a lock file of the engine's own suffix in the folder
// (posix: flock on it, so a killed holder leaves a file that locks nothing; Windows: open without
// write sharing and deleted on close), holding the holder's process id.
inline constexpr const char* kInstallationLockName = "update.lock.orvan~";
enum class LockOutcome { Acquired, HeldByThisProcess, HeldByAnotherProcess, Failed };
class InstallationLock {
 public:
  // Non-null only with Acquired. HeldByThisProcess: this process holds it already (the program
  // holds it while the engine, loaded into the same process, runs a pass). Failed: the lock file
  // can't be made (a read-only folder) or something else than a file has its name. Never blocks.
  static std::unique_ptr<InstallationLock> Acquire(const std::string& folder, LockOutcome& outcome);
  ~InstallationLock();  // releases it and removes the lock file
  InstallationLock(const InstallationLock&) = delete;
  InstallationLock& operator=(const InstallationLock&) = delete;

 private:
  InstallationLock(std::string path, intptr_t handle) : path_(std::move(path)), handle_(handle) {}
  std::string path_;
  intptr_t handle_;
};

// ---- The running process ----

// This process's id, which keeps the names of two builders' partial outputs apart.
unsigned long ProcessId();

// The full path of the running program's own executable file.
std::string OwnModulePath();

// Whether a standard stream is a terminal (where a progress line may be redrawn in place).
bool StandardInputIsTerminal();
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();

}  // namespace platform
