// The message loop runs until the welcome dialog, the main form, is gone; during the update the
// engine's callbacks process pending messages, which is when clicks and close requests arrive.
#include "src/app/win32/win32_front_end.h"

#include <windows.h>

#include "platform/desktop.h"
#include "src/app/win32/application_window.h"
#include "src/app/win32/form_window.h"
#include "src/app/win32/message_boxes.h"
#include "src/app/win32/progress_form.h"
#include "src/app/win32/welcome_form.h"

namespace {

void Dispatch(MSG& message) {
  if (FormWindow::HandleDialogKeys(message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void ProcessPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the message loop, which ends on it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

struct MessagePumpInstalled {
  MessagePumpInstalled() { platform::SetMessagePump(&ProcessPendingMessages); }
  ~MessagePumpInstalled() { platform::SetMessagePump(nullptr); }
};

}  // namespace

void Win32FrontEnd::SetApplicationTitle(const std::string& title) { ::SetApplicationTitle(title); }

void Win32FrontEnd::ExceptionBox(const std::string& message) { ShowErrorBox(GetActiveWindow(), message); }

int Win32FrontEnd::Run(TForm2& welcome, TForm1& progress) {
  ApplicationWindow application(ApplicationTitle());
  FormWindow::SetOwner(application.Handle());
  // The welcome dialog is created first and so is the main form; the progress window stays hidden.
  WelcomeForm welcomeForm(welcome);
  ProgressForm progressForm(progress, welcomeForm, application);
  welcomeForm.SetProgressForm(&progressForm);
  MessagePumpInstalled pump;
  application.Show();
  welcomeForm.Show();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) Dispatch(message);
  return 0;
}
