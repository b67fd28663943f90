// Win32 backend: Ctrl+C for the console front end.
#include <windows.h>

#include <atomic>

#include "platform/desktop.h"

namespace platform {
namespace {

std::atomic<bool> interruptPending{false};

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  interruptPending = true;
  return TRUE;
}

}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool TakeInterrupt() { return interruptPending.exchange(false); }

}  // namespace platform
