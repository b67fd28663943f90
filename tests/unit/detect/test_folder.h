// Temporary folders, files, environment and current folder for the detection tests, undone at the end.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace detect_test {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("orvan-detect-" + std::to_string(random()) + std::to_string(getpid()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path(const std::string& relative = "") const {
    return relative.empty() ? path_.string() : (path_ / relative).string();
  }
  // Creates the file with its parent folders.
  std::string Write(const std::string& relative, std::string_view bytes) const {
    fs::path file = path_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }
  std::string MakeFolder(const std::string& relative) const {
    fs::create_directories(path_ / relative);
    return Path(relative);
  }

 private:
  fs::path path_;
};

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::string& folder) : old_(fs::current_path()) { fs::current_path(folder); }
  ~ScopedCurrentFolder() { fs::current_path(old_); }

 private:
  fs::path old_;
};

}  // namespace detect_test
