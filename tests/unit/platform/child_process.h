// Running a piece of a test in a forked child: another process, or one that may hang.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace platformtest {

// The child's exit code, or -1 when it did not end by itself within `seconds` (a hang).
inline int RunInChild(const std::function<int()>& body, unsigned seconds = 10) {
  pid_t child = fork();
  if (child == 0) {
    alarm(seconds);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace platformtest
