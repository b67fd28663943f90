// The progress window on screen: renders the TForm1 model, its log, bars and buttons, and
// delivers the user's clicks and close requests to it.
#pragma once

#include "src/app/progress_window.h"
#include "src/app/win32/form_window.h"

class ApplicationWindow;
class WelcomeForm;

class ProgressForm : public FormWindow, public ProgressWindowView {
 public:
  ProgressForm(TForm1& model, WelcomeForm& welcome, ApplicationWindow& application);
  ~ProgressForm() override;

  // ProgressWindowView
  void LogLineAdded(const std::string& line) override;
  void ProgressChanged() override;
  void ButtonsChanged() override;
  void WarningDialog(const std::string& text) override;
  void ErrorBox(const std::string& text) override;
  void CloseMainForm() override;
  void InstallationChanging(bool changing) override;

 protected:
  void CreateControls() override;
  void OnClick(int controlId) override;
  void OnFormActivate() override;
  void OnClose() override;
  void OnDpiApplied() override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  TForm1& model_;
  WelcomeForm& welcome_;
  ApplicationWindow& application_;
  HWND button1_ = nullptr;
  HWND listBox1_ = nullptr;
  HWND progressBar1_ = nullptr;
  HWND progressBar2_ = nullptr;
  HWND button2_ = nullptr;
};
