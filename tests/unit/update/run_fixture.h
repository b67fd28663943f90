// The small installation with a progress window (TForm1) and a recording view: the update run as
// the program runs it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "src/app/progress_window.h"
#include "tests/unit/update/installation_fixture.h"

class RecordingView : public ProgressWindowView {
 public:
  std::vector<std::string> dialogs;  // "warning: ..." or "error: ..."
  int mainFormClosed = 0;
  std::vector<bool> changing;  // each call of InstallationChanging, in order
  bool Changing() const { return !changing.empty() && changing.back(); }
  void InstallationChanging(bool now) override { changing.push_back(now); }
  void WarningDialog(const std::string& text) override { dialogs.push_back("warning: " + text); }
  void ErrorBox(const std::string& text) override { dialogs.push_back("error: " + text); }
  void CloseMainForm() override { ++mainFormClosed; }
};

class RunFixture : public InstallationFixture {
 protected:
  void SetUp() override {
    InstallationFixture::SetUp();
    form = std::make_unique<TForm1>(&view);
    Form1 = form.get();
  }
  void TearDown() override {
    Form1 = nullptr;
    InstallationFixture::TearDown();
  }

  RecordingView view;
  std::unique_ptr<TForm1> form;
};
