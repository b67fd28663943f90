// Turns the verification pass's events into the run's findings, log lines and the first half
// of the overall bar.
#include "src/update/verify_pass_callback.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"
#include "src/update/active_run.h"
#include "src/update/file_extension.h"

namespace update {
namespace {

namespace message = engine_host::message;

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

void OnNotice(RunWindow& window, const std::string& text) {
  if (text.find("file of the same name") == std::string::npos) return;
  window.AddLogLine("");
  window.AddLogLine(FormatText(LoadAppString(39), window.State().CurrentFile, PatchInfo.FromVersion.Text));
  PatchInfo.Mismatch = true;
}

const char* OnError(RunWindow& window, const std::string& text) {
  if (text.find("No update done since file contents do not match") != std::string::npos) {
    window.AddLogLine("");
    window.AddLogLine(FormatText(LoadAppString(34), window.State().CurrentFile, PatchInfo.FromVersion.Text));
  }
  if (text.find("Insufficient Storage") != std::string::npos) {
    window.AddLogLine("");
    PatchInfo.RequiredBytes = RequiredBytesIn(text);
    return engine_host::kGoOn;
  }
  window.AddLogLine("");
  window.AddLogLine(LoadAppString(35));
  return engine_host::kStop;
}

void OnFileBegin(RunWindow& window, const std::string& name) {
  window.SetFileProgress(0);
  std::string extension = ExtensionOf(name);
  bool expansionFile = false;
  for (size_t i = 0; i < PatchInfo.ExpansionExtensions.size(); ++i) {
    if (extension != PatchInfo.ExpansionExtensions[i]) continue;
    expansionFile = true;
    if (i < PatchInfo.ExpansionVersions.size() && PatchInfo.ExpansionVersions[i] == PatchInfo.ExpansionVersion.Text)
      PatchInfo.ExpansionFilesToPatch.push_back(name);
  }
  if (!expansionFile) PatchInfo.FilesToPatch.push_back(name);
  window.State().CurrentFile = name;
}

void OnFileEnd(RunWindow& window) {
  RunState& run = window.State();
  ++run.VerifyDone;
  window.SetFileProgress(100);
  // An end of file with no count announced leaves the overall bar where it is.
  if (run.VerifyTotal > 0) window.SetOverallProgress(run.VerifyDone * 50 / run.VerifyTotal);
}

}  // namespace

const char* PATCHW32_CALL VerifyPassCallback(uint32_t messageId, void* parameter) {
  RunWindow* window = ActiveRun::WindowForCallback();
  if (!window) return engine_host::kStop;
  switch (engine_host::MessageKind(messageId)) {
    case message::kNotice:
      OnNotice(*window, engine_host::TextOf(parameter));
      return engine_host::kGoOn;
    case message::kError:
      return OnError(*window, engine_host::TextOf(parameter));
    case message::kProgress:
      window->SetFileProgress(engine_host::ProgressPercentOf(parameter));
      return engine_host::kGoOn;
    case message::kFileCount:
      window->State().VerifyTotal = parameter ? *static_cast<const int32_t*>(parameter) : 0;
      return engine_host::kGoOn;
    case message::kFileBegin:
      OnFileBegin(*window, engine_host::TextOf(parameter));
      return engine_host::kGoOn;
    case message::kFileEnd:
      OnFileEnd(*window);
      return engine_host::kGoOn;
    default:
      return engine_host::DefaultReply(messageId);
  }
}

}  // namespace update
