// Error boxes and warning dialogs as the system's message boxes.
#include "src/app/win32/message_boxes.h"

namespace {

std::string& Title() {
  static std::string title;
  return title;
}

}  // namespace

void SetApplicationTitle(const std::string& title) { Title() = title; }

const std::string& ApplicationTitle() { return Title(); }

void ShowErrorBox(HWND owner, std::string text) {
  if (!text.empty() && text.back() != '.') text += '.';
  MessageBoxA(owner, text.c_str(), Title().c_str(), MB_OK | MB_ICONERROR);
}

void ShowWarningDialog(HWND owner, const std::string& text) {
  MessageBoxA(owner, text.c_str(), "Warning", MB_OK | MB_ICONWARNING);
}
