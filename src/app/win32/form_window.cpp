// The common behaviour of the two forms: window class, DPI scaling, fonts, focus and keys.
#include "src/app/win32/form_window.h"

#include <exception>
#include <stdexcept>
#include <tuple>

#include "src/app/win32/message_boxes.h"

namespace {

constexpr const char* kFormClass = "OrvanUpdateForm";
constexpr UINT kFormActivateMessage = WM_APP + 1;
constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;  // a plain fixed frame, which keeps the icon in the caption

// The form the user worked in last; switching to another program and back is no new activation.
FormWindow* lastActiveForm = nullptr;
HWND formOwner = nullptr;

template <typename Function>
Function SystemFunction(const char* module, const char* name) {
  FARPROC found = GetProcAddress(GetModuleHandleA(module), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

void RegisterFormClass() {
  static bool registered = false;
  if (registered) return;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &FormWindow::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = kFormClass;
  RegisterClassExA(&windowClass);
  registered = true;
}

bool IsPushButton(HWND control) {
  char className[16] = {};
  GetClassNameA(control, className, sizeof className);
  if (lstrcmpiA(className, "Button") != 0) return false;
  LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

int WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static auto getDpiForWindow = SystemFunction<GetDpiForWindowFunction>("user32.dll", "GetDpiForWindow");
  if (getDpiForWindow && window) {
    if (UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

FormWindow::FormWindow(int clientWidth, int clientHeight) : clientWidth_(clientWidth), clientHeight_(clientHeight) {}

FormWindow::~FormWindow() {
  if (lastActiveForm == this) lastActiveForm = nullptr;
  if (hwnd_) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  for (auto& [height, font] : fonts_) DeleteObject(font);
}

void FormWindow::Create(const std::string& caption) {
  RegisterFormClass();
  CreateWindowExA(kFormExStyle, kFormClass, caption.c_str(), kFormStyle, 0, 0, Scale(clientWidth_),
                  Scale(clientHeight_), formOwner, nullptr, GetModuleHandleA(nullptr), this);
  if (!hwnd_) throw std::runtime_error("Error creating window");
  dpi_ = WindowDpi(hwnd_);
  // The program's icon in the caption; the application window shows it in the task bar.
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (auto [kind, width, height] : {std::tuple{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}}) {
    HANDLE icon = LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, GetSystemMetrics(width), GetSystemMetrics(height),
                             LR_SHARED);
    SendMessageA(hwnd_, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
  }
  CreateControls();
  ApplyDpi(dpi_, nullptr);
}

void FormWindow::SetOwner(HWND owner) { formOwner = owner; }

FormWindow* FormWindow::LastActive() { return lastActiveForm; }

FormWindow* FormWindow::FormOf(HWND window) {
  char className[32] = {};
  if (!window || !GetClassNameA(window, className, sizeof className) || lstrcmpA(className, kFormClass) != 0)
    return nullptr;
  return reinterpret_cast<FormWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

HWND FormWindow::AddControl(const char* className, const std::string& text, DWORD style, DWORD exStyle, int id,
                            int left, int top, int width, int height, int fontHeight) {
  HWND control = CreateWindowExA(exStyle, className, text.c_str(), WS_CHILD | style, Scale(left), Scale(top),
                                 Scale(width), Scale(height), hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  if (!control) throw std::runtime_error(std::string("Error creating window of class ") + className);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOfHeight(fontHeight)), FALSE);
  placements_.push_back({control, left, top, width, height, fontHeight});
  return control;
}

void FormWindow::KeepRightEdge(HWND label) {
  if (Placement* placement = PlacementOf(label)) {
    placement->keepRightEdge = true;
    Place(*placement);
  }
}

void FormWindow::Place(const Placement& placement) {
  int left = Scale(placement.left);
  int width = Scale(placement.width);
  if (placement.keepRightEdge) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(placement.control)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(placement.control, text.data(), static_cast<int>(text.size()))));
    HDC dc = GetDC(placement.control);
    HGDIOBJ previous = SelectObject(dc, FontOfHeight(placement.fontHeight));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(placement.control, dc);
    if (size.cx > width) {
      left = Scale(placement.left + placement.width) - size.cx;
      width = size.cx;
    }
  }
  SetWindowPos(placement.control, nullptr, left, Scale(placement.top), width, Scale(placement.height),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

FormWindow::Placement* FormWindow::PlacementOf(HWND control) {
  for (auto& placement : placements_)
    if (placement.control == control) return &placement;
  return nullptr;
}

void FormWindow::MoveControl(HWND control, int left) {
  Placement* placement = PlacementOf(control);
  if (!placement || placement->left == left) return;
  placement->left = left;
  SetWindowPos(control, nullptr, Scale(left), Scale(placement->top), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::ShowControl(HWND control, bool visible) {
  if ((IsWindowVisible(control) != FALSE) == visible) return;
  bool hadFocus = GetFocus() == control;
  ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
  if (hadFocus) FocusFirstControl();
}

void FormWindow::SetText(HWND control, const std::string& text) {
  // Setting an unchanged text would only make the control flicker.
  int length = GetWindowTextLengthA(control);
  std::string current(static_cast<size_t>(length) + 1, '\0');
  current.resize(static_cast<size_t>(GetWindowTextA(control, current.data(), length + 1)));
  if (current != text) SetWindowTextA(control, text.c_str());
}

HFONT FormWindow::FontOfHeight(int fontHeight) {
  auto found = fonts_.find(fontHeight);
  if (found != fonts_.end()) return found->second;
  // A negative height asks for that character height, as the layout gives it.
  HFONT font = CreateFontA(-Scale(fontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           "MS Sans Serif");
  fonts_[fontHeight] = font;
  return font;
}

void FormWindow::ApplyDpi(int dpi, const RECT* suggested) {
  dpi_ = dpi;
  std::map<int, HFONT> oldFonts;
  oldFonts.swap(fonts_);
  for (const Placement& placement : placements_) {
    SendMessageA(placement.control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOfHeight(placement.fontHeight)), FALSE);
    Place(placement);
  }
  for (auto& [height, font] : oldFonts) DeleteObject(font);
  OnDpiApplied();

  RECT frame{0, 0, Scale(clientWidth_), Scale(clientHeight_)};
  using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static auto adjustForDpi = SystemFunction<AdjustForDpiFunction>("user32.dll", "AdjustWindowRectExForDpi");
  if (!adjustForDpi || !adjustForDpi(&frame, kFormStyle, FALSE, kFormExStyle, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  int left, top;
  if (suggested) {
    left = suggested->left;
    top = suggested->top;
  } else {
    // Centred on the screen the program starts on.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    left = monitor.rcMonitor.left + (monitor.rcMonitor.right - monitor.rcMonitor.left - width) / 2;
    top = monitor.rcMonitor.top + (monitor.rcMonitor.bottom - monitor.rcMonitor.top - height) / 2;
  }
  SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void FormWindow::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  UpdateWindow(hwnd_);
}

void FormWindow::Hide() { ShowWindow(hwnd_, SW_HIDE); }

void FormWindow::FocusFirstControl() {
  for (const Placement& placement : placements_) {
    LONG style = GetWindowLongA(placement.control, GWL_STYLE);
    if ((style & WS_TABSTOP) && IsWindowVisible(placement.control) && IsWindowEnabled(placement.control)) {
      SetFocus(placement.control);
      return;
    }
  }
  SetFocus(hwnd_);
}

void FormWindow::MarkDefaultButton(HWND focused) {
  // The focused button is the one Enter presses, so it shows the default button's frame; with the
  // focus elsewhere the form's default button has it.
  if (focused && !IsPushButton(focused)) focused = nullptr;
  HWND marked = focused ? focused : defaultButton_;
  for (const Placement& placement : placements_) {
    if (!IsPushButton(placement.control)) continue;
    LONG style = GetWindowLongA(placement.control, GWL_STYLE);
    LONG wanted = (style & ~BS_TYPEMASK) | (placement.control == marked ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    if (wanted != style) SendMessageA(placement.control, BM_SETSTYLE, static_cast<WPARAM>(wanted), TRUE);
  }
}

bool FormWindow::Clickable(HWND button) const {
  return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

void FormWindow::Click(HWND button) {
  SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool FormWindow::HandleDialogKeys(MSG& message) {
  HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  FormWindow* form = FormOf(root);
  if (!form) return false;
  if (message.message == WM_KEYDOWN && (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
    if (message.wParam == VK_RETURN) {
      HWND focused = GetFocus();
      if (focused && IsChild(form->hwnd_, focused) && IsPushButton(focused) && form->Clickable(focused))
        form->Click(focused);
      else if (form->Clickable(form->defaultButton_))
        form->Click(form->defaultButton_);
    } else if (form->Clickable(form->cancelButton_)) {
      form->Click(form->cancelButton_);
    }
    return true;
  }
  if (!IsDialogMessageA(root, &message)) return false;
  // The dialog manager's own bookkeeping of the default button may have undone ours.
  if (message.message == WM_KEYDOWN) form->MarkDefaultButton(GetFocus());
  return true;
}

void FormWindow::ShowExceptionBox(const char* message) { ShowErrorBox(hwnd_, message); }

LRESULT FormWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK FormWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* created = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    created->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  auto* form = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcA(hwnd, message, wParam, lParam);
  // No exception may unwind through the system's code: the handler ends and the error is shown.
  LRESULT result = 0;
  try {
    result = form->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    form->ShowExceptionBox(error.what());
  }
  if (message == WM_NCDESTROY) {
    form->hwnd_ = nullptr;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  }
  return result;
}

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam) {
        OnClick(LOWORD(wParam));
      } else if (HIWORD(wParam) == BN_SETFOCUS) {
        MarkDefaultButton(reinterpret_cast<HWND>(lParam));
      } else if (HIWORD(wParam) == BN_KILLFOCUS) {
        MarkDefaultButton(nullptr);
      }
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focused = GetFocus();
        if (focused && IsChild(hwnd_, focused)) savedFocus_ = focused;
      } else {
        if (savedFocus_ && IsWindow(savedFocus_) && Clickable(savedFocus_))
          SetFocus(savedFocus_);
        else
          FocusFirstControl();
        if (lastActiveForm != this) {
          lastActiveForm = this;
          // Handled once the window has finished becoming active.
          PostMessageA(hwnd_, kFormActivateMessage, 0, 0);
        }
      }
      return 0;
    case kFormActivateMessage:
      OnFormActivate();
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DPICHANGED:
      ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      return OnMessage(message, wParam, lParam);
  }
}
