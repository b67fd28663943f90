// Win32 backend: terminals and Ctrl+C for the console front end.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/platform.h"

namespace platform {
namespace {

std::atomic<bool> interruptPending{false};

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  interruptPending = true;
  return TRUE;
}

}  // namespace

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void CatchInterrupts() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool TakeInterrupt() { return interruptPending.exchange(false); }

}  // namespace platform
