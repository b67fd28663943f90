// The replaceable message pump, message box and file-open dialog of the platform seam.
#include "platform/backend.h"

#include <utility>

namespace platform {
namespace {

std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}

OpenDialogRunner& DialogRunner() {
  static OpenDialogRunner runner;
  return runner;
}

MessageBoxHandler& BoxHandler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

void ProcessPendingMessages() {
  if (Pump()) Pump()();
}

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

void ShowMessageBox(const std::string& text, const std::string& caption) {
  if (BoxHandler())
    BoxHandler()(text, caption);
  else
    ShowSystemMessageBox(text, caption);
}

void SetMessageBoxHandler(MessageBoxHandler handler) { BoxHandler() = std::move(handler); }

bool RunOpenDialog(OpenDialog& dialog) { return DialogRunner() ? DialogRunner()(dialog) : RunSystemOpenDialog(dialog); }

void SetOpenDialogRunner(OpenDialogRunner runner) { DialogRunner() = std::move(runner); }

}  // namespace platform
