// TForm2, the welcome dialog's model: says what will be updated and where, finds the folder.
#pragma once

#include <string>

#include "platform/desktop.h"

class WelcomeDialogView {
 public:
  virtual ~WelcomeDialogView() = default;
  virtual void Changed() {}
  // OK: hide the welcome dialog and show the progress window, whose activation runs the update.
  virtual void ShowProgressWindow() = 0;
  // Cancel or the close box: the main form closes and the program ends.
  virtual void CloseMainForm() = 0;
  // The framework's error box for an error raised in an event handler.
  virtual void ErrorBox(const std::string& text) = 0;
};

class TForm2 {
 public:
  static constexpr int kClientWidth = 520;
  static constexpr int kButtonWidth = 75;

  explicit TForm2(WelcomeDialogView* view = nullptr) : view_(view) {}
  void SetView(WelcomeDialogView* view) { view_ = view; }

  std::string Caption = "Orvan Update Utility";
  std::string Label1;
  bool Button1Visible = true;
  bool Button3Visible = false;
  int Button2Left = 276;
  int OuterWidth = kClientWidth + 6;  // the window with its fixed single border, at 96 DPI
  platform::OpenDialog OpenDialog1{"Orvan.exe", "Orvan.exe|Orvan.exe", "Where is Orvan installed?", ""};

  void FormActivate();
  void UpdateWelcomeText();
  void Button1Click();
  void Button2Click();
  void Button3Click();

 private:
  // An error raised by a handler ends it and is shown in the framework's error box.
  template <typename Handler>
  void Guarded(Handler handler);

  WelcomeDialogView* view_;
};

extern TForm2* Form2;
