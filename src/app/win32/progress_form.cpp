// The progress window's controls at their 96-DPI places; the update log scrolls as lines are
// added, each line followed by a 100 ms pause.
#include "src/app/win32/progress_form.h"

#include <commctrl.h>

#include "src/app/win32/application_window.h"
#include "src/app/win32/message_boxes.h"
#include "src/app/win32/welcome_form.h"
#include "src/patchinfo/patch_info.h"

namespace {

constexpr int kButton1 = 201;
constexpr int kListBox1 = 202;
constexpr int kProgressBar1 = 203;
constexpr int kProgressBar2 = 204;
constexpr int kLabel1 = 205;
constexpr int kLabel2 = 206;
constexpr int kButton2 = 207;
constexpr DWORD kLabelStyle = WS_VISIBLE | SS_RIGHT | SS_NOPREFIX;

}  // namespace

ProgressForm::ProgressForm(TForm1& model, WelcomeForm& welcome, ApplicationWindow& application)
    : FormWindow(612, 432), model_(model), welcome_(welcome), application_(application) {
  Create(model_.Caption);
  model_.SetView(this);
}

ProgressForm::~ProgressForm() { model_.SetView(nullptr); }

void ProgressForm::CreateControls() {
  // In the order of the layout, which is also the tab order.
  button1_ = AddControl("Button", model_.Button1Caption, WS_VISIBLE | kPushButtonStyle, 0, kButton1, 234, 400, 145, 25, 19);
  listBox1_ = AddControl("ListBox", "",
                         WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE,
                         kListBox1, 24, 8, 561, 313);
  progressBar1_ = AddControl(PROGRESS_CLASSA, "", WS_VISIBLE, 0, kProgressBar1, 152, 336, 433, 17);
  progressBar2_ = AddControl(PROGRESS_CLASSA, "", WS_VISIBLE, 0, kProgressBar2, 152, 368, 433, 17);
  // The labels end where the bars begin, whatever font the system draws them with.
  KeepRightEdge(AddControl("Static", "Current file progress:", kLabelStyle, 0, kLabel1, 50, 338, 96, 13));
  KeepRightEdge(AddControl("Static", "Overall update progress:", kLabelStyle, 0, kLabel2, 32, 368, 115, 13));
  button2_ = AddControl("Button", "Save Log to File", kPushButtonStyle, 0, kButton2, 16, 400, 97, 25);
  for (HWND bar : {progressBar1_, progressBar2_}) SendMessageA(bar, PBM_SETRANGE32, 0, 100);
  for (const std::string& line : model_.ListBox1)
    SendMessageA(listBox1_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  ProgressChanged();
  ButtonsChanged();
}

void ProgressForm::OnDpiApplied() {
  if (listBox1_) SendMessageA(listBox1_, LB_SETITEMHEIGHT, 0, MAKELPARAM(Scale(13), 0));
}

void ProgressForm::LogLineAdded(const std::string& line) {
  SendMessageA(listBox1_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  // One line further down from wherever the view is; the list box keeps it within its range.
  LRESULT top = SendMessageA(listBox1_, LB_GETTOPINDEX, 0, 0);
  SendMessageA(listBox1_, LB_SETTOPINDEX, static_cast<WPARAM>(top + 1), 0);
  // Drawn now: the pause processes no messages, and the player should see the line meanwhile.
  UpdateWindow(listBox1_);
  Sleep(100);
}

void ProgressForm::ProgressChanged() {
  SendMessageA(progressBar1_, PBM_SETPOS, static_cast<WPARAM>(model_.ProgressBar1.Position()), 0);
  SendMessageA(progressBar2_, PBM_SETPOS, static_cast<WPARAM>(model_.ProgressBar2.Position()), 0);
}

void ProgressForm::ButtonsChanged() {
  SetText(button1_, model_.Button1Caption);
  ShowControl(button2_, model_.Button2Visible);
}

void ProgressForm::WarningDialog(const std::string& text) { ShowWarningDialog(Handle(), text); }

void ProgressForm::ErrorBox(const std::string& text) { ShowErrorBox(Handle(), text); }

void ProgressForm::CloseMainForm() { welcome_.CloseMainForm(); }

void ProgressForm::InstallationChanging(bool changing) {
  if (changing)
    application_.HoldSession("Updating " + PatchInfo.ShortName);
  else
    application_.ReleaseSession();
}

void ProgressForm::OnFormActivate() {
  // The window is drawn before the run starts, which processes no messages until it calls the engine.
  UpdateWindow(Handle());
  model_.FormActivate();
}

void ProgressForm::OnClick(int controlId) {
  if (controlId == kButton1) model_.Button1Click();
  if (controlId == kButton2 && IsWindowVisible(button2_)) model_.Button2Click();
}

void ProgressForm::OnClose() {
  if (model_.FormClose()) Hide();
}

LRESULT ProgressForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORLISTBOX && reinterpret_cast<HWND>(lParam) == listBox1_) {
    // The log is black on the button-face colour.
    auto dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  return FormWindow::OnMessage(message, wParam, lParam);
}
