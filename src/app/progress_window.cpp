// The progress window's behaviour that does not depend on how it is drawn.
#include "src/app/progress_window.h"

#include <algorithm>

#include "platform/files.h"
#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"
#include "src/update/update_driver.h"

TForm1* Form1 = nullptr;

void ProgressBarModel::SetPosition(int position) {
  position_ = std::clamp(position, 0, 100);
  if (view_) view_->ProgressChanged();
}

TForm1::TForm1(ProgressWindowView* view) : view_(view), ProgressBar1(view_), ProgressBar2(view_) {
  Caption = FormatText(LoadAppString(16), PatchInfo.ShortName, PatchInfo.FromVersion.Text, PatchInfo.ToVersion.Text);
}

void TForm1::AddLogLine(const std::string& line) {
  ListBox1.push_back(line);
  // The list box keeps its top index within its scroll range.
  int maxTop = std::max(0, static_cast<int>(ListBox1.size()) - VisibleLines);
  TopIndex = std::min(TopIndex + 1, maxTop);
  if (view_) view_->LogLineAdded(line);
}

void TForm1::FormActivate() {
  if (activated_) return;
  activated_ = true;
  update::RunUpdate(*this);
}

void TForm1::Button1Click() {
  if (!Finished) {
    CancelRequested = true;
    return;
  }
  if (button1Closed_) return;
  button1Closed_ = true;
  if (view_) view_->CloseMainForm();
}

bool TForm1::FormClose() {
  if (!Finished) {
    CancelRequested = true;
    return false;
  }
  if (!formCloseClosed_) {
    formCloseClosed_ = true;
    if (view_) view_->CloseMainForm();
  }
  return true;
}

std::string TForm1::LogFileName() const {
  return PatchInfo.InstallPath + platform::PathSeparator() + PatchInfo.ShortName + "_" +
         PatchInfo.ToVersion.Text + "_From_" + PatchInfo.FromVersion.Text + ".txt";
}

void TForm1::Button2Click() {
  std::string name = LogFileName();
  {
    auto file = platform::File::Open(name, platform::File::Mode::CreateTruncate);
    if (!file) {
      ErrorBox("Cannot create file " + name + ".");
      return;
    }
    std::string text;
    for (const auto& line : ListBox1) text += line + "\r\n";
    if (!file->WriteAt(0, std::as_bytes(std::span(text.data(), text.size())))) {
      ErrorBox("Stream write error.");
      return;
    }
  }
  AddLogLine("");
  AddLogLine(FormatText(LoadAppString(20), PatchInfo.ShortName, name));
}

void TForm1::SetCancelButtonCaption(const std::string& caption) {
  Button1Caption = caption;
  if (view_) view_->ButtonsChanged();
}

void TForm1::ShowSaveLogButton() {
  Button2Visible = true;
  if (view_) view_->ButtonsChanged();
}

void TForm1::WarningDialog(const std::string& text) {
  if (view_) view_->WarningDialog(text);
}

void TForm1::ErrorBox(const std::string& text) {
  if (view_) view_->ErrorBox(text);
}

void TForm1::SetInstallationChanging(bool changing) {
  if (view_) view_->InstallationChanging(changing);
}
