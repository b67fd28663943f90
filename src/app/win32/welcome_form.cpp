// The welcome dialog's controls at their 96-DPI places; OK is the default and Cancel the cancel
// button, and closing this main form ends the program.
#include "src/app/win32/welcome_form.h"

#include "src/app/win32/message_boxes.h"

namespace {

constexpr int kLabel1 = 103;
constexpr int kButton3 = 104;

}  // namespace

WelcomeForm::WelcomeForm(TForm2& model) : FormWindow(TForm2::kClientWidth, 132), model_(model) {
  Create(model_.Caption);
  model_.SetView(this);
}

WelcomeForm::~WelcomeForm() { model_.SetView(nullptr); }

void WelcomeForm::CreateControls() {
  // In the order of the layout, which is also the tab order.
  button1_ = AddControl("Button", "OK", WS_VISIBLE | kPushButtonStyle, 0, IDOK, 188, 97, 75, 25);
  button2_ = AddControl("Button", "Cancel", WS_VISIBLE | kPushButtonStyle, 0, IDCANCEL, model_.Button2Left, 97,
                        TForm2::kButtonWidth, 25);
  // Centred, wrapped at words, line feeds kept; a word longer than a line (a long folder path)
  // is broken rather than cut off, and '&' is shown as it is.
  label1_ = AddControl("Static", model_.Label1, WS_VISIBLE | SS_CENTER | SS_EDITCONTROL | SS_NOPREFIX, 0, kLabel1,
                       0, 8, 521, 81);
  button3_ = AddControl("Button", "Specify folder", kPushButtonStyle, 0, kButton3, 8, 97, 89, 25);
  SetDefaultButton(button1_);
  SetCancelButton(button2_);
  Changed();
}

void WelcomeForm::Changed() {
  SetText(label1_, model_.Label1);
  MoveControl(button2_, model_.Button2Left);
  ShowControl(button1_, model_.Button1Visible);
  ShowControl(button3_, model_.Button3Visible);
}

void WelcomeForm::OnFormActivate() { model_.FormActivate(); }

void WelcomeForm::OnClick(int controlId) {
  // Enter reaches OK only while it is shown.
  if (controlId == IDOK && IsWindowVisible(button1_)) model_.Button1Click();
  if (controlId == IDCANCEL) model_.Button2Click();
  if (controlId == kButton3) model_.Button3Click();
}

void WelcomeForm::OnClose() { model_.Button2Click(); }

void WelcomeForm::ShowProgressWindow() {
  Hide();
  if (progress_) progress_->Show();
}

void WelcomeForm::CloseMainForm() {
  if (Handle()) DestroyWindow(Handle());
}

void WelcomeForm::ErrorBox(const std::string& text) { ShowErrorBox(Handle(), text); }

LRESULT WelcomeForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // The main form is gone: the message loop ends and with it the program.
  if (message == WM_DESTROY) PostQuitMessage(0);
  return FormWindow::OnMessage(message, wParam, lParam);
}
