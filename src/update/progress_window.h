// TForm1, the progress window's model: its controls' state, the run fields and the update log.
// A front end renders it (through ProgressWindowView) and delivers the user's clicks to it.
#pragma once

#include <string>
#include <vector>

#include "platform/desktop.h"

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

class TForm1 {
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

  // Run fields.
  int FilesDone = 0;
  bool ExtensionStripped = false;
  bool PatchingFile = false;
  std::string LastFile;
  bool Finished = false;
  bool CancelRequested = false;
  int TotalFiles = 0;
  int VerifyTotal = 0;
  int VerifyDone = 0;
  std::string CurrentFile;
  // Set by the driver when the run ends with the installation at the patch's target version:
  // updated, already up to date, or nothing needed patching. The console's exit code says it.
  bool AtTargetVersion = false;

  void AddLogLine(const std::string& line);
  // The update driver: runs once, on the window's first activation.
  void FormActivate();
  // Cancel while running; OK once finished.
  void Button1Click();
  // Save Log to File.
  void Button2Click();
  // The close box: returns whether the window may close.
  bool FormClose();

  void SetButton1Caption(const std::string& caption);
  void ShowButton2();
  void WarningDialog(const std::string& text);
  void ErrorBox(const std::string& text);
  void SetInstallationChanging(bool changing);

  // The saved log's full file name.
  std::string LogFileName() const;

 private:
  bool activated_ = false;
  bool button1Closed_ = false;
  bool formCloseClosed_ = false;
};

// The one progress window, reached by the engine callbacks.
extern TForm1* Form1;
