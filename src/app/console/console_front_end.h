// The Linux program's front end: the two windows as text on a console.
#pragma once

#include <string>

#include "src/app/startup.h"

struct ConsoleOptions {
  bool saveLog = false;  // press Save Log to File when the run is over
};

class ConsoleFrontEnd : public FrontEnd, public ProgressWindowView, public WelcomeDialogView {
 public:
  explicit ConsoleFrontEnd(ConsoleOptions options);

  // FrontEnd
  void SetApplicationTitle(const std::string& title) override { title_ = title; }
  int Run(TForm2& welcome, TForm1& progress) override;
  void ExceptionBox(const std::string& message) override;

  // ProgressWindowView
  void LogLineAdded(const std::string& line) override;
  void ProgressChanged() override;
  void WarningDialog(const std::string& text) override;
  void ErrorBox(const std::string& text) override;
  void CloseMainForm() override { mainFormClosed_ = true; }

  // WelcomeDialogView
  void ShowProgressWindow() override { progressShown_ = true; }

 private:
  bool AskToProceed();
  void ClearProgressLine();

  ConsoleOptions options_;
  std::string title_;
  TForm1* progress_ = nullptr;
  bool progressShown_ = false;
  bool mainFormClosed_ = false;
  bool progressDrawn_ = false;
  bool drawProgress_;
};
