// Posix backend: Ctrl+C and its kin, for the console front end.
#include <signal.h>

#include "platform/desktop.h"

namespace platform {
namespace {

volatile sig_atomic_t interruptPending = 0;

void OnInterrupt(int) { interruptPending = 1; }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART, so that a prompt's read returns
  // Ctrl+C, a polite kill and a closed terminal all ask the program to stop: the update then
  // ends at the end of a file and rolls back, where dying would leave the game half updated.
  for (int request : {SIGINT, SIGTERM, SIGHUP}) sigaction(request, &action, nullptr);
  // A reader that went away (`orvan-update | head`) makes writes to stdout fail, nothing more.
  signal(SIGPIPE, SIG_IGN);
}

bool TakeInterrupt() {
  if (!interruptPending) return false;
  interruptPending = 0;
  return true;
}

}  // namespace platform
