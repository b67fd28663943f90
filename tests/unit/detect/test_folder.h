// Temporary folders, files, environment and current folder for the detection tests, undone at the end.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

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
  // A named pipe: opening it for reading waits for a writer.
  std::string MakePipe(const std::string& relative) const {
    mkfifo(Path(relative).c_str(), 0644);
    return Path(relative);
  }
  // A Unix socket's name in the folder (the socket itself is closed again).
  std::string MakeSocket(const std::string& relative) const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = Path(relative);
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    close(fd);
    return path;
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

// Runs `work` on a thread of its own. When it has not ended within the time limit (it is blocked
// opening one of `pipes`), each pipe is opened for writing until it ends, and the answer is false.
inline bool EndsWithoutBlocking(const std::function<void()>& work, const std::vector<std::string>& pipes) {
  auto done = std::async(std::launch::async, work);
  if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
    done.get();
    return true;
  }
  while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    for (const std::string& pipe : pipes) {
      int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
    }
  }
  return false;
}

}  // namespace detect_test
