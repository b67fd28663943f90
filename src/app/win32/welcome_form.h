// The welcome dialog on screen: renders the TForm2 model and delivers the user's clicks to it.
#pragma once

#include "src/app/welcome_dialog.h"
#include "src/app/win32/form_window.h"

class WelcomeForm : public FormWindow, public WelcomeDialogView {
 public:
  explicit WelcomeForm(TForm2& model);
  ~WelcomeForm() override;
  // The window that OK hands over to.
  void SetProgressForm(FormWindow* progress) { progress_ = progress; }

  // WelcomeDialogView
  void Changed() override;
  void ShowProgressWindow() override;
  void CloseMainForm() override;
  void ErrorBox(const std::string& text) override;

 protected:
  void CreateControls() override;
  void OnClick(int controlId) override;
  void OnFormActivate() override;
  void OnClose() override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  TForm2& model_;
  FormWindow* progress_ = nullptr;
  HWND button1_ = nullptr;
  HWND button2_ = nullptr;
  HWND label1_ = nullptr;
  HWND button3_ = nullptr;
};
