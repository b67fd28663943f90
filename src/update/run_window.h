// update::RunWindow: what the update run needs of the window it runs in, and nothing more.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace update {

// The run's fields: what the driver and the pass handlers keep between the engine's messages.
struct RunState {
  int FilesDone = 0;
  bool ExtensionStripped = false;  // the current file is an expansion file shown without its extension
  bool PatchingFile = false;
  std::string LastFile;
  bool Finished = false;
  bool CancelRequested = false;  // set by the window's Cancel button or close box
  int TotalFiles = 0;
  int VerifyTotal = 0;
  int VerifyDone = 0;
  std::string CurrentFile;
  // Set by the driver when the run ends with the installation at the patch's target version:
  // updated, already up to date, or nothing needed patching.
  bool AtTargetVersion = false;
};

// The window an update run reports to. The driver and the pass handlers see only this.
class RunWindow {
 public:
  virtual ~RunWindow() = default;

  virtual RunState& State() = 0;

  virtual void AddLogLine(const std::string& line) = 0;
  // The two bars, 0 to 100: the current file's and the whole update's.
  virtual void SetFileProgress(int percent) = 0;
  virtual void SetOverallProgress(int percent) = 0;

  // A modal message dialog of warning type, titled "Warning", one OK button.
  virtual void WarningDialog(const std::string& text) = 0;
  // An error box titled with the application title.
  virtual void ErrorBox(const std::string& text) = 0;

  // The end of the run: the Cancel button takes the given caption, Save Log to File appears.
  virtual void SetCancelButtonCaption(const std::string& caption) = 0;
  virtual void ShowSaveLogButton() = 0;

  // A pass that may change the installation has begun (true) or ended (false).
  virtual void SetInstallationChanging(bool changing) = 0;

  // The open dialog that asks where the game is installed.
  virtual platform::OpenDialog& InstallFolderDialog() = 0;
};

}  // namespace update
