// OrvanUpdate.exe: the update utility for Windows, with its welcome dialog and progress window.
#include <windows.h>
#include <commctrl.h>

#include "src/app/startup.h"
#include "src/app/win32/argument_text.h"
#include "src/app/win32/win32_front_end.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  Win32FrontEnd frontEnd;
  return RunProgram(ArgumentText(GetCommandLineA()), frontEnd);
}
