// The application's own window: never seen itself, it shows the application title and the icon
// in the task bar and owns the two forms, which so have no task bar buttons of their own.
#pragma once

#include <windows.h>

#include <string>

class ApplicationWindow {
 public:
  explicit ApplicationWindow(const std::string& title);
  ~ApplicationWindow();
  ApplicationWindow(const ApplicationWindow&) = delete;
  ApplicationWindow& operator=(const ApplicationWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  // Puts its button in the task bar.
  void Show();

  // While the session is held, a shutdown or log-off is asked to wait, and Windows shows the
  // player `reason` as what it waits for.
  void HoldSession(const std::string& reason);
  void ReleaseSession();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
  bool sessionHeld_ = false;
};
