// What only the updater program asks of the operating system: the registry, the file-open
// dialog, message boxes and the message pump, its string resources, the engine library it
// carries and loads, and Ctrl+C on the console. The engine and the builder never use it.
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

namespace platform {

// An error of the framework (a registry value of the wrong type, a text that is not a number).
// It ends the event handler that raised it; the top-level handler shows what() in an error box.
class FrameworkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- The engine library ----

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

// ---- The window system ----

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

// ---- Finding the installation: the registry and the file-open dialog ----

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

// ---- The console front end: Ctrl+C ----

// From now on Ctrl+C only records that it was pressed, and so do, on posix, SIGTERM and SIGHUP (a
// closed terminal); a blocking read of standard input is interrupted by them. On posix a write to a
// pipe whose reader has gone fails instead of ending the program.
void CatchInterrupts();
// Whether Ctrl+C (or SIGTERM, SIGHUP) came since the last call.
bool TakeInterrupt();

}  // namespace platform
