// Turns the verification pass's events into the run's findings, log lines and the first half
// of the overall bar.
#include "src/update/verify_pass_callback.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "src/update/file_extension.h"
#include "platform/desktop.h"
#include "src/update/progress_window.h"
#include "src/strings/string_table.h"
#include "src/patchinfo/patch_info.h"

namespace {

// The decimal number that starts at the blank nearest before the first " bytes".
int64_t RequiredBytesIn(const std::string& text) {
  size_t bytes = text.find(" bytes");
  if (bytes == std::string::npos || bytes == 0) return 0;
  size_t start = text.rfind(' ', bytes - 1);
  start = start == std::string::npos ? 0 : start;
  const char* cursor = text.c_str() + start;
  while (*cursor == ' ') ++cursor;
  return std::strtoll(cursor, nullptr, 10);
}

void OnFileName(TForm1& form, const std::string& name) {
  form.ProgressBar1.SetPosition(0);
  std::string extension = ExtensionOf(name);
  bool expansionFile = false;
  for (size_t i = 0; i < PatchInfo.ExpansionExtensions.size(); ++i) {
    if (extension != PatchInfo.ExpansionExtensions[i]) continue;
    expansionFile = true;
    if (i < PatchInfo.ExpansionVersions.size() && PatchInfo.ExpansionVersions[i] == PatchInfo.ExpansionVersion.Text)
      PatchInfo.ExpansionFilesToPatch.push_back(name);
  }
  if (!expansionFile) PatchInfo.FilesToPatch.push_back(name);
  form.CurrentFile = name;
}

const char* OnError(TForm1& form, const std::string& text) {
  if (text.find("No update done since file contents do not match") != std::string::npos) {
    form.AddLogLine("");
    form.AddLogLine(FormatText(LoadAppString(34), form.CurrentFile.c_str(), PatchInfo.FromVersion.Text.c_str()));
  }
  if (text.find("Insufficient Storage") != std::string::npos) {
    form.AddLogLine("");
    PatchInfo.RequiredBytes = RequiredBytesIn(text);
    return engine_host::kGoOn;
  }
  form.AddLogLine("");
  form.AddLogLine(LoadAppString(35));
  return engine_host::kStop;
}

}  // namespace

const char* PATCHW32_CALL VerifyPassCallback(uint32_t messageId, void* parameter) {
  platform::ProcessPendingMessages();
  TForm1& form = *Form1;
  int8_t kind = engine_host::MessageKind(messageId);
  const std::string text = parameter && (kind == 2 || kind == 4 || kind == 7) ? static_cast<const char*>(parameter) : "";
  switch (kind) {
    case 2:
      if (text.find("file of the same name") != std::string::npos) {
        form.AddLogLine("");
        form.AddLogLine(FormatText(LoadAppString(39), form.CurrentFile.c_str(), PatchInfo.FromVersion.Text.c_str()));
        PatchInfo.Mismatch = true;
      }
      return engine_host::kGoOn;
    case 4:
      return OnError(form, text);
    case 5:
      form.ProgressBar1.SetPosition(static_cast<int>(engine_host::ProgressOf(parameter) * 100 / 32768));
      return engine_host::kGoOn;
    case 6:
      form.VerifyTotal = parameter ? *static_cast<const int32_t*>(parameter) : 0;
      return engine_host::kGoOn;
    case 7:
      OnFileName(form, text);
      return engine_host::kGoOn;
    case 8:
      ++form.VerifyDone;
      form.ProgressBar1.SetPosition(100);
      // An end of file with no count announced leaves the overall bar where it is.
      if (form.VerifyTotal > 0) form.ProgressBar2.SetPosition(form.VerifyDone * 50 / form.VerifyTotal);
      return engine_host::kGoOn;
    default:
      return engine_host::DefaultReply(messageId);
  }
}
