// The one seam to the operating system: everything the program and the engine ask of it.
// Two backends implement it, win32/ (the real calls) and posix/ (their stand-ins on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform {

// '\' on Windows, '/' on posix: wherever a folder and a name are joined.
char PathSeparator();

// The full path of the running program's own executable file.
std::string OwnModulePath();
std::string CurrentFolder();

// The folder for temporary files, without a trailing separator.
std::string TempFolder();

// Creates an empty file with a unique name that begins with `prefix` in `folder`, as
// GetTempFileName does, and returns its path; nothing when it can't be created.
std::optional<std::string> CreateTempFile(const std::string& folder, const std::string& prefix);

bool RemoveFile(const std::string& path);

// The engine library as the program carries it: a 4-byte little-endian length, then the
// library's image. Empty when the program carries none.
std::span<const std::byte> EngineResource();

// A loaded dynamic library, unloaded when destroyed.
class DynamicLibrary {
 public:
  static std::unique_ptr<DynamicLibrary> Load(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The export with ordinal 1 (PatchApply32), or null when the library has none.
  void* EngineEntryPoint() const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
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

// Lower-cases with the letters of the active ANSI code page (Windows-1252 on posix).
std::string AnsiLowerCase(std::string text);

// A file read and written at 64-bit offsets; closed when destroyed.
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

}  // namespace platform
