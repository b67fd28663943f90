// The program's start: listing pass, switches, title, the two windows, the front end's loop.
#pragma once

#include <optional>
#include <string>

#include "src/app/progress_window.h"
#include "src/app/welcome_dialog.h"

// What a front end provides: the application title, and its message loop over the two windows.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // Shows the welcome dialog and processes the user's actions until the main form closes;
  // returns the process exit code.
  virtual int Run(TForm2& welcome, TForm1& progress) = 0;
  // The framework's standard exception box.
  virtual void ExceptionBox(const std::string& message) = 0;
};

// The position of the first occurrence of pattern in text, a to z compared without regard to case.
std::optional<size_t> ContainsNoCase(const std::string& text, const std::string& pattern);

// Runs the program with the command line's argument text; returns the exit code.
int RunProgram(const std::string& argumentText, FrontEnd& frontEnd);
