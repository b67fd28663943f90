// TForm1, the progress window's model: its controls' state, the run fields and the update log.
// A front end renders it (through ProgressWindowView) and delivers the user's clicks to it; the
// update run sees it as an update::RunWindow.
#pragma once

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/update/run_window.h"

// What a front end does when the model changes or needs the user.
class ProgressWindowView {
 public:
  virtual ~ProgressWindowView() = default;
  // A line was appended to the log (the Windows front end also pauses 100 ms here).
  virtual void LogLineAdded(const std::string& line) {}
  virtual void ProgressChanged() {}
  virtual void ButtonsChanged() {}
  // A modal message dialog of warning type, titled "Warning", one OK button.
  virtual void WarningDialog(const std::string& text) = 0;
  // An error box titled with the application title.
  virtual void ErrorBox(const std::string& text) = 0;
  // Closes the welcome dialog, the main form: the program ends.
  virtual void CloseMainForm() = 0;
  // A pass that may change the installation has begun (true) or ended (false); meanwhile the
  // Windows front end asks a shutdown or log-off to wait.
  virtual void InstallationChanging(bool changing) {}
};

class ProgressBarModel {
 public:
  explicit ProgressBarModel(ProgressWindowView*& view) : view_(view) {}
  int Position() const { return position_; }
  void SetPosition(int position);

 private:
  ProgressWindowView*& view_;
  int position_ = 0;
};

class TForm1 : public update::RunWindow, public update::RunState {
  ProgressWindowView* view_;  // first: the progress bars hold a reference to it

 public:
  explicit TForm1(ProgressWindowView* view = nullptr);
  void SetView(ProgressWindowView* view) { view_ = view; }

  // Controls.
  std::string Caption;
  std::string Button1Caption = "Cancel";
  bool Button2Visible = false;
  std::vector<std::string> ListBox1;
  int TopIndex = 0;
  int VisibleLines = 23;  // whole lines ListBox1 shows: 313 pixels less its 2-pixel edges, 13 each
  ProgressBarModel ProgressBar1;
  ProgressBarModel ProgressBar2;
  platform::OpenDialog OpenDialog1{"Orvan.exe", "Orvan Executable|Orvan.exe", "Where is Orvan installed?", "exe"};

  // The run fields (FilesDone, CurrentFile, Finished, CancelRequested, AtTargetVersion, ...) are
  // update::RunState's; the console's exit code says AtTargetVersion.

  // The update driver: runs once, on the window's first activation.
  void FormActivate();
  // Cancel while running; OK once finished.
  void Button1Click();
  // Save Log to File.
  void Button2Click();
  // The close box: returns whether the window may close.
  bool FormClose();

  // The saved log's full file name.
  std::string LogFileName() const;

  // update::RunWindow
  update::RunState& State() override { return *this; }
  void AddLogLine(const std::string& line) override;
  void SetFileProgress(int percent) override { ProgressBar1.SetPosition(percent); }
  void SetOverallProgress(int percent) override { ProgressBar2.SetPosition(percent); }
  void WarningDialog(const std::string& text) override;
  void ErrorBox(const std::string& text) override;
  void SetCancelButtonCaption(const std::string& caption) override;
  void ShowSaveLogButton() override;
  void SetInstallationChanging(bool changing) override;
  platform::OpenDialog& InstallFolderDialog() override { return OpenDialog1; }

 private:
  bool activated_ = false;
  bool button1Closed_ = false;
  bool formCloseClosed_ = false;
};

// The one progress window, as start-up creates it; the front ends are handed it, and the update
// run reaches it only through the update::RunWindow it is given.
extern TForm1* Form1;
