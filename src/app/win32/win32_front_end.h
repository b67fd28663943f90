// The Windows program's front end: the two forms, their message loop and the message pump that
// the engine's callbacks run.
#pragma once

#include "src/app/startup.h"

class Win32FrontEnd : public FrontEnd {
 public:
  void SetApplicationTitle(const std::string& title) override;
  int Run(TForm2& welcome, TForm1& progress) override;
  void ExceptionBox(const std::string& message) override;
};
