// Posix backend of the installation lock: flock on a lock file in the folder. flock belongs to
// the open file description, so closing another descriptor of the same file (a probe of this
// process) never drops it, as closing any descriptor drops a POSIX record lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/files.h"

namespace platform {
namespace {

// The process id written by the holder; 0 when there is none to read.
pid_t HolderOf(int fd) {
  char text[32] = {};
  ssize_t length = pread(fd, text, sizeof text - 1, 0);
  if (length <= 0) return 0;
  char* end = nullptr;
  long pid = std::strtol(text, &end, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

std::unique_ptr<InstallationLock> InstallationLock::Acquire(const std::string& folder, LockOutcome& outcome) {
  outcome = LockOutcome::Failed;
  std::string path = folder + "/" + kInstallationLockName;
  // A releaser unlinks the file it held: locking that file is locking nothing, so try again.
  for (int attempt = 0; attempt < 16; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) return nullptr;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      close(fd);
      return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK)
        outcome = HolderOf(fd) == getpid() ? LockOutcome::HeldByThisProcess : LockOutcome::HeldByAnotherProcess;
      close(fd);
      return nullptr;
    }
    struct stat atPath {};
    if (lstat(path.c_str(), &atPath) != 0 || !SameFile(atPath, opened)) {
      close(fd);
      continue;
    }
    std::string pid = std::to_string(getpid());
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
      unlink(path.c_str());
      close(fd);
      return nullptr;
    }
    outcome = LockOutcome::Acquired;
    return std::unique_ptr<InstallationLock>(new InstallationLock(path, fd));
  }
  return nullptr;
}

// Unlinked while still locked, so that no one locks the file once it has left the folder
// without noticing (Acquire compares the file it locked with the one at the path).
InstallationLock::~InstallationLock() {
  unlink(path_.c_str());
  close(static_cast<int>(handle_));
}

}  // namespace platform
