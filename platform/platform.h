// The one seam to the operating system: everything the program and the engine ask of it.
// Two backends implement it, win32/ (the real calls) and posix/ (their stand-ins on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// '\' on Windows, '/' on posix: wherever a folder and a name are joined.
char PathSeparator();

// The full path of the running program's own executable file.
std::string OwnModulePath();
std::string CurrentFolder();

// The folder for temporary files, without a trailing separator.
std::string TempFolder();

bool RemoveFile(const std::string& path);

// The engine library as the program carries it: a 4-byte little-endian length, then the
// library's image. Empty when the program carries none.
std::span<const std::byte> EngineResource();

// A loaded dynamic library, unloaded when destroyed.
class DynamicLibrary {
 public:
  // Null, with the system's reason in `reason`, when the library is refused.
  static std::unique_ptr<DynamicLibrary> Load(const std::string& path, std::string& reason);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The export with ordinal 1 (PatchApply32), or null when the library has none.
  void* EngineEntryPoint() const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// A library image written to a new temporary file whose name begins with `prefix` (as
// GetTempFileName makes them) and held until it is deleted, so that what is loaded is what was
// written: on Windows the file is reopened for reading and shared for reading only, so that nobody
// can write, rename or delete it meanwhile; on posix only its owner may write it (mkstemp's 0600)
// and it is loaded through the open descriptor, so that a name swapped meanwhile changes nothing.
// Closed and deleted when destroyed: unload the library first.
class HeldLibraryFile {
 public:
  // Null when the file can't be created in `folder` or the image can't be written whole (a full
  // disk); a file that was created is deleted again.
  static std::unique_ptr<HeldLibraryFile> Write(const std::string& folder, const std::string& prefix,
                                                std::span<const std::byte> image);
  ~HeldLibraryFile();
  HeldLibraryFile(const HeldLibraryFile&) = delete;
  HeldLibraryFile& operator=(const HeldLibraryFile&) = delete;

  const std::string& Path() const { return path_; }
  // Whether the file holds exactly `image`, read back through the held handle.
  bool Holds(std::span<const std::byte> image) const;
  // Loads the held file; null, with the system's reason in `reason`, when it is refused.
  std::unique_ptr<DynamicLibrary> Load(std::string& reason) const;

 private:
  HeldLibraryFile(std::string path, intptr_t handle) : path_(std::move(path)), handle_(handle) {}
  std::string path_;
  intptr_t handle_;
};

// Lets the window system process pending messages. The front end installs what that means for it
// (a Win32 message loop; on the console, delivering a pending Ctrl+C); the default does nothing.
void ProcessPendingMessages();
void SetMessagePump(std::function<void()> pump);

// A modal box with one OK button and no icon. The default is MessageBox on Windows and a line
// on stderr on posix; a front end or a test may install its own.
using MessageBoxHandler = std::function<void(const std::string& text, const std::string& caption)>;
void ShowMessageBox(const std::string& text, const std::string& caption);
void SetMessageBoxHandler(MessageBoxHandler handler);

// The text of string `id` in the running program's STRINGTABLE resource; nothing when the
// program carries no such string (always on posix, where programs have no resources).
std::optional<std::string> LoadStringResource(int id);

// Lower-cases with the letters of the active ANSI code page (Windows-1252 on posix).
std::string AnsiLowerCase(std::string text);

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

 private:
  explicit File(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;
};

// ---------------------------------------------------------------------------------------------
// Finding the installation: directory search, names on disk, the registry, the file-open dialog.
// ---------------------------------------------------------------------------------------------

// An error of the framework (a registry value of the wrong type, a text that is not a number).
// It ends the event handler that raised it; the top-level handler shows what() in an error box.
class FrameworkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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

// `path` with each component that exists in another letter case replaced by its name on disk,
// so that the payload's lower-cased names find mixed-case files. Unchanged on Windows.
std::string FindOnDisk(const std::string& path);

// Writes into `expanded` the same path with every component in the long form stored on disk;
// returns false, leaving `expanded` untouched, when `path` itself can't be found.
bool ExpandLongPath(const std::string& path, std::string& expanded);

// Whether `c` ends the folder part of a path: '\' or ':' on Windows, '/' on posix.
bool EndsFolderPart(char c);

// One text value below HKEY_LOCAL_MACHINE, read only: empty when the key or the value is missing.
// A value of another type than string or expandable string raises FrameworkError
// "Invalid data type for '<valueName>'".
std::string ReadRegistryString(const std::string& key, const std::string& valueName);

// A modal file-open dialog. FileName holds the layout's name at first and keeps the last choice.
struct OpenDialog {
  std::string FileName;
  std::string Filter;  // "description|pattern" pairs, '|'-separated, as the form layouts give them
  std::string Title;
  std::string DefaultExt;  // appended to a typed name without an extension; empty for none
};
// Runs the dialog: the common file-open dialog on Windows; on posix the path is read from stdin
// (end of input or an empty line cancels). Returns false on a cancel, leaving FileName as it was.
bool RunOpenDialog(OpenDialog& dialog);
using OpenDialogRunner = std::function<bool(OpenDialog&)>;
// A front end or a test installs its own dialog; an empty runner restores the default.
void SetOpenDialogRunner(OpenDialogRunner runner);

}  // namespace platform

// ---- The console front end: terminals and Ctrl+C (posix/console.cpp, win32/console.cpp) ----

namespace platform {

bool StandardInputIsTerminal();
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();

// Bytes available to this user on the file system that holds `folder` (posix/disk_space.cpp,
// win32/disk_space.cpp).
std::optional<uint64_t> FreeBytes(const std::string& folder);

// From now on Ctrl+C only records that it was pressed, and so do, on posix, SIGTERM and SIGHUP (a
// closed terminal); a blocking read of standard input is interrupted by them. On posix a write to a
// pipe whose reader has gone fails instead of ending the program.
void CatchInterrupts();
// Whether Ctrl+C (or SIGTERM, SIGHUP) came since the last call.
bool TakeInterrupt();

// ---- Installation files: what the patch engine and the builder need to change files safely ----
// (posix/installation_files.cpp, win32/installation_files.cpp)

enum class PathKind { Missing, File, Folder, Other };
PathKind KindOf(const std::string& path);

// `folder` joined with `relative` ('/'-separated) by the platform's separator. Each component
// that exists is spelled as on disk: posix matches it without regard to ASCII case, as Windows
// does, preferring an exact match. Components that don't exist keep the given spelling.
std::string ResolveInFolder(const std::string& folder, const std::string& relative);

// The names in a folder, without "." and ".."; nothing when the folder can't be read, so that an
// unreadable folder is never taken for an empty one.
std::optional<std::vector<std::string>> FolderEntries(const std::string& folder);
// The same, empty when the folder can't be read: for callers to whom that is all one.
inline std::vector<std::string> ListFolder(const std::string& folder) {
  return FolderEntries(folder).value_or(std::vector<std::string>{});
}

// Renames a file or folder within one file system; `to` must not exist.
bool RenamePath(const std::string& from, const std::string& to);
// Gives the file `existing` a second name, `link` (a hard link), which must not exist. False
// where the file system has no hard links (FAT32, exFAT): then the caller renames instead.
bool LinkFile(const std::string& existing, const std::string& link);
// Renames a file over `to` in one step: a reader sees the old file or the new one, never neither.
bool ReplaceByRename(const std::string& from, const std::string& to);
// Makes durable the renames and creations in `folder` (fsync on posix; Windows writes through).
bool FlushFolder(const std::string& folder);
// Creates one folder level; false when it exists already or can't be made.
bool MakeFolder(const std::string& path);
bool RemoveEmptyFolder(const std::string& path);

// False when the file is read-only (no owner write permission on posix, the read-only attribute
// on Windows) or another program holds it so that it can't be written or renamed.
bool CanReplaceFile(const std::string& path);
// Gives `to` the permission bits of `from` (posix); nothing to do on Windows.
bool CopyFileMode(const std::string& from, const std::string& to);

// What names `folder` whatever path leads to it: its inode number on posix, its file index on
// Windows, nothing when it can't be read. Only the number: the Linux program and the Windows one
// under Wine see the same folder of a Wine prefix (Wine reports the inode as the file index), so a
// journal one of them wrote is the other's too.
std::optional<std::string> FolderIdentity(const std::string& folder);

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

// A whole file mapped read-only into memory; unmapped when destroyed.
class MappedFile {
 public:
  static std::unique_ptr<MappedFile> Open(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::span<const std::byte> Bytes() const { return {static_cast<const std::byte*>(data_), size_}; }

 private:
  MappedFile(const void* data, size_t size, intptr_t handle) : data_(data), size_(size), handle_(handle) {}
  const void* data_;
  size_t size_;
  intptr_t handle_;
};

// ---- The patch builder: what it needs besides the files above ----
// (posix/builder_support.cpp, win32/builder_support.cpp)

// This process's id, which keeps the names of two builders' partial outputs apart.
unsigned long ProcessId();

// Lets everyone run the file (posix); nothing to do on Windows, where the name makes a program.
bool MarkExecutable(const std::string& path);

}  // namespace platform
