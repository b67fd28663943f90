// The replaceable message pump and message box of the platform seam.
#include "platform.h"

#include <utility>

namespace platform {
namespace {

std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}

MessageBoxHandler& BoxHandler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

void ShowSystemMessageBox(const std::string& text, const std::string& caption);

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

}  // namespace platform
