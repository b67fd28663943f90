// A visible window of no size in the middle of the screen, as the task bar needs one; what the
// user does to its task bar button goes to the form in use.
#include "src/app/win32/application_window.h"

#include <stdexcept>

#include "src/app/win32/form_window.h"

namespace {

constexpr const char* kApplicationClass = "OrvanUpdateApplication";

HWND FormInUse() {
  FormWindow* form = FormWindow::LastActive();
  return form && form->Handle() && IsWindowVisible(form->Handle()) ? form->Handle() : nullptr;
}

}  // namespace

ApplicationWindow::ApplicationWindow(const std::string& title) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &ApplicationWindow::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.lpszClassName = kApplicationClass;
  RegisterClassExA(&windowClass);
  hwnd_ = CreateWindowExA(0, kApplicationClass, title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                          GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr,
                          instance, nullptr);
  if (!hwnd_) throw std::runtime_error("Error creating window");
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ApplicationWindow::~ApplicationWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void ApplicationWindow::Show() { ShowWindow(hwnd_, SW_SHOWNOACTIVATE); }

void ApplicationWindow::HoldSession(const std::string& reason) {
  int length = MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, wide.data(), length);
  sessionHeld_ = true;
  ShutdownBlockReasonCreate(hwnd_, wide.c_str());
}

void ApplicationWindow::ReleaseSession() {
  sessionHeld_ = false;
  ShutdownBlockReasonDestroy(hwnd_);
}

LRESULT CALLBACK ApplicationWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // A click on the task bar button activates this window: the form takes over.
      if (LOWORD(wParam) != WA_INACTIVE)
        if (HWND form = FormInUse()) SetActiveWindow(form);
      return 0;
    case WM_SYSCOMMAND:
      // Close from the task bar is the form's close box.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        if (HWND form = FormInUse()) PostMessageA(form, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_CLOSE:
      return 0;
    case WM_QUERYENDSESSION: {
      // Ending the session now would kill the update half-way: Windows is asked to wait until
      // the files are swapped or put back.
      auto* self = reinterpret_cast<ApplicationWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
      if (self && self->sessionHeld_) return FALSE;
      return TRUE;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}
