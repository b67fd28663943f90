// A form: a fixed-size, centred top-level window whose controls are laid out in 96-DPI pixels
// and scaled to the DPI of the monitor it is on, with dialog-style keyboard handling.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// A push button in the tab order that tells its form when it gains the focus.
inline constexpr DWORD kPushButtonStyle = WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY;

class FormWindow {
 public:
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;
  virtual ~FormWindow();

  HWND Handle() const { return hwnd_; }
  // Shows the window and makes it the active one.
  void Show();
  void Hide();

  // Enter presses the focused button, else the default button; Escape the cancel button; Tab and
  // the arrow keys move the focus. False when `message` is not such a key for one of our forms.
  static bool HandleDialogKeys(MSG& message);
  // The form a window belongs to, or null.
  static FormWindow* FormOf(HWND window);
  // The window that owns the forms created from now on: the application's own window.
  static void SetOwner(HWND owner);
  // The form the user worked in last, or null.
  static FormWindow* LastActive();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  FormWindow(int clientWidth, int clientHeight);

  // Creates the hidden window with its controls (through CreateControls) and centres it.
  void Create(const std::string& caption);
  virtual void CreateControls() = 0;

  // A child control at a 96-DPI position, created in tab order; fontHeight is the character
  // height of its "MS Sans Serif" font in 96-DPI pixels.
  HWND AddControl(const char* className, const std::string& text, DWORD style, DWORD exStyle, int id, int left,
                  int top, int width, int height, int fontHeight = 11);
  // A label that keeps its right edge: when the font on this system draws its text wider than
  // the box the layout gives it, it grows to the left instead of cutting the text off.
  void KeepRightEdge(HWND label);
  // Moves a control to another 96-DPI left edge.
  void MoveControl(HWND control, int left);
  // Shows or hides a control; a hidden control that had the focus hands it on.
  void ShowControl(HWND control, bool visible);
  void SetText(HWND control, const std::string& text);
  void SetDefaultButton(HWND button) { defaultButton_ = button; }
  void SetCancelButton(HWND button) { cancelButton_ = button; }
  int Scale(int pixels96) const { return MulDiv(pixels96, dpi_, 96); }

  // Messages a form handles itself; anything else goes to DefWindowProc.
  virtual void OnClick(int controlId) {}
  // The form became the program's active form (not after one of our own dialogs or boxes).
  virtual void OnFormActivate() {}
  // The close box, the system menu's Close or Alt+F4.
  virtual void OnClose() = 0;
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // The controls were placed and given fonts for a new DPI.
  virtual void OnDpiApplied() {}

  // The framework's handling of an error that escapes an event handler: its error box.
  void ShowExceptionBox(const char* message);

 private:
  struct Placement {
    HWND control;
    int left, top, width, height, fontHeight;
    bool keepRightEdge = false;
  };

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void ApplyDpi(int dpi, const RECT* suggested);
  HFONT FontOfHeight(int fontHeight);
  void Place(const Placement& placement);
  void FocusFirstControl();
  void MarkDefaultButton(HWND focused);
  Placement* PlacementOf(HWND control);
  bool Clickable(HWND button) const;
  void Click(HWND button);

  HWND hwnd_ = nullptr;
  int clientWidth_;
  int clientHeight_;
  int dpi_ = 96;
  std::vector<Placement> placements_;
  std::map<int, HFONT> fonts_;  // by 96-DPI character height, for the current DPI
  HWND defaultButton_ = nullptr;
  HWND cancelButton_ = nullptr;
  HWND savedFocus_ = nullptr;
};

// The DPI of a window's monitor (96 on systems that scale nothing).
int WindowDpi(HWND window);
