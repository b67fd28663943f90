// Turns the update pass's events into the per-file log lines and the second half of the bar;
// a cancel is acted on at the end of a file.
#include "src/update/update_pass_callback.h"

#include <string>

#include "src/update/file_extension.h"
#include "platform/desktop.h"
#include "src/update/progress_window.h"
#include "src/strings/string_table.h"
#include "src/patchinfo/patch_info.h"

namespace {

void OnFileName(TForm1& form, const std::string& name) {
  form.ProgressBar1.SetPosition(0);
  form.ExtensionStripped = false;
  form.CurrentFile = name;
  std::string extension = ExtensionOf(name);
  for (const auto& expansionExtension : PatchInfo.ExpansionExtensions) {
    if (extension == expansionExtension) {
      form.CurrentFile = name.substr(0, name.size() - extension.size() - 1);
      form.ExtensionStripped = true;
      break;
    }
  }
}

void OnProgressText(TForm1& form, const std::string& text) {
  if (text.find("New Version") != std::string::npos) {
    form.ProgressBar1.SetPosition(100);
    form.AddLogLine(FormatText(LoadAppString(10), form.CurrentFile.c_str(), PatchInfo.ToVersion.Text.c_str()));
    form.PatchingFile = false;
  } else if (text.find("Applying") != std::string::npos &&
             (!PatchInfo.ExpansionFilesToPatch.empty() || !form.ExtensionStripped)) {
    ++form.FilesDone;
    form.AddLogLine("");
    form.AddLogLine(FormatText(LoadAppString(13), form.CurrentFile.c_str(), PatchInfo.FromVersion.Text.c_str(),
                               PatchInfo.ToVersion.Text.c_str(), form.FilesDone, form.TotalFiles));
    form.ProgressBar1.SetPosition(0);
    form.PatchingFile = true;
  }
}

const char* OnFileEnd(TForm1& form) {
  form.ProgressBar1.SetPosition(100);
  const char* reply = engine_host::kGoOn;
  if (form.CancelRequested) {
    form.WarningDialog(FormatText(LoadAppString(14), PatchInfo.ShortName.c_str()));
    reply = engine_host::kStop;
  } else {
    if (form.PatchingFile) form.AddLogLine(FormatText(LoadAppString(36), form.CurrentFile.c_str()));
    if (form.CurrentFile == form.LastFile) {
      form.AddLogLine("");
      form.AddLogLine("Finishing update...");
    }
  }
  // The driver only runs this pass with at least one file to patch.
  if (form.TotalFiles > 0) form.ProgressBar2.SetPosition(form.FilesDone * 50 / form.TotalFiles + 50);
  return reply;
}

}  // namespace

const char* PATCHW32_CALL UpdatePassCallback(uint32_t messageId, void* parameter) {
  platform::ProcessPendingMessages();
  TForm1& form = *Form1;
  int8_t kind = engine_host::MessageKind(messageId);
  const std::string text =
      parameter && (kind == 2 || kind == 4 || kind == 7 || kind == 9) ? static_cast<const char*>(parameter) : "";
  switch (kind) {
    case 2:
      if (text.find("file of the same name") != std::string::npos)
        form.AddLogLine(FormatText(LoadAppString(39), form.CurrentFile.c_str(), PatchInfo.FromVersion.Text.c_str()));
      form.PatchingFile = false;
      return engine_host::kGoOn;
    case 4:
      form.WarningDialog(text);
      form.PatchingFile = false;
      return engine_host::kStop;
    case 5:
      form.ProgressBar1.SetPosition(static_cast<int>(engine_host::ProgressOf(parameter) * 100 / 32768));
      return engine_host::kGoOn;
    case 7:
      OnFileName(form, text);
      return engine_host::kGoOn;
    case 8:
      return OnFileEnd(form);
    case 9:
      OnProgressText(form, text);
      return engine_host::kGoOn;
    case 13: case 14:
      form.WarningDialog("Patch information invalid, this patcher may have been corrupted.");
      return engine_host::kStop;
    default:
      return engine_host::DefaultReply(messageId);
  }
}
