// Welcome text and log on stdout; dialogs and progress bars on stderr; Ctrl+C is Cancel.
#include "src/app/console/console_front_end.h"

#include <cstdio>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/patchinfo/patch_info.h"

namespace {

std::string Bar(int position) {
  constexpr int kWidth = 20;
  int filled = position * kWidth / 100;
  return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]";
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(ConsoleOptions options)
    : options_(options), drawProgress_(platform::StandardErrorIsTerminal()) {}

void ConsoleFrontEnd::ClearProgressLine() {
  if (!progressDrawn_) return;
  std::fputs("\r\033[K", stderr);
  progressDrawn_ = false;
}

void ConsoleFrontEnd::LogLineAdded(const std::string& line) {
  ClearProgressLine();
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  ProgressChanged();
}

void ConsoleFrontEnd::ProgressChanged() {
  if (!drawProgress_ || !progress_) return;
  std::fprintf(stderr, "\r\033[Kfile %s %3d%%   overall %s %3d%%", Bar(progress_->ProgressBar1.Position()).c_str(),
               progress_->ProgressBar1.Position(), Bar(progress_->ProgressBar2.Position()).c_str(),
               progress_->ProgressBar2.Position());
  std::fflush(stderr);
  progressDrawn_ = true;
}

void ConsoleFrontEnd::WarningDialog(const std::string& text) {
  ClearProgressLine();
  std::fprintf(stderr, "Warning: %s\n", text.c_str());
}

void ConsoleFrontEnd::ErrorBox(const std::string& text) {
  ClearProgressLine();
  std::fprintf(stderr, "%s: %s\n", title_.c_str(), text.c_str());
}

void ConsoleFrontEnd::ExceptionBox(const std::string& message) { ErrorBox(message); }

bool ConsoleFrontEnd::AskToProceed() {
  if (!platform::StandardInputIsTerminal() || !platform::StandardOutputIsTerminal()) return true;
  std::printf("Proceed? [Y/n] ");
  std::fflush(stdout);
  char answer[64];
  if (!std::fgets(answer, sizeof answer, stdin)) {
    std::printf("\n");
    return false;  // end of input or Ctrl+C
  }
  return answer[0] == '\n' || answer[0] == 'y' || answer[0] == 'Y';
}

int ConsoleFrontEnd::Run(TForm2& welcome, TForm1& progress) {
  welcome.SetView(this);
  progress.SetView(this);
  progress_ = &progress;
  platform::CatchInterrupts();
  // Ctrl+C reaches the program when pending messages are processed, as a click on Cancel does.
  platform::SetMessagePump([&progress] {
    if (!platform::TakeInterrupt()) return;
    progress.Button1Click();
    std::fputs("\r\033[KCancel requested: the update stops at the end of the current file.\n", stderr);
  });

  welcome.FormActivate();
  std::printf("%s\n\n", welcome.Label1.c_str());
  std::fflush(stdout);
  if (!welcome.Button1Visible || !AskToProceed() || platform::TakeInterrupt()) {
    welcome.Button2Click();
    return 2;
  }
  welcome.Button1Click();
  progress.FormActivate();
  ClearProgressLine();
  if (options_.saveLog && progress.Finished) progress.Button2Click();
  progress.Button1Click();
  platform::SetMessagePump(nullptr);
  return progress.AtTargetVersion ? 0 : 2;
}
