// Turns the update pass's events into the per-file log lines and the second half of the bar;
// a cancel is acted on at the end of a file.
#include "src/update/update_pass_callback.h"

#include <string>

#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"
#include "src/update/active_run.h"
#include "src/update/file_extension.h"

namespace update {
namespace {

namespace message = engine_host::message;

void OnNotice(RunWindow& window, const std::string& text) {
  RunState& run = window.State();
  if (text.find("file of the same name") != std::string::npos)
    window.AddLogLine(FormatText(LoadAppString(39), run.CurrentFile, PatchInfo.FromVersion.Text));
  run.PatchingFile = false;
}

void OnFileBegin(RunWindow& window, const std::string& name) {
  RunState& run = window.State();
  window.SetFileProgress(0);
  run.ExtensionStripped = false;
  run.CurrentFile = name;
  std::string extension = ExtensionOf(name);
  for (const auto& expansionExtension : PatchInfo.ExpansionExtensions) {
    if (extension == expansionExtension) {
      run.CurrentFile = name.substr(0, name.size() - extension.size() - 1);
      run.ExtensionStripped = true;
      break;
    }
  }
}

void OnStatus(RunWindow& window, const std::string& text) {
  RunState& run = window.State();
  if (text.find("New Version") != std::string::npos) {
    window.SetFileProgress(100);
    window.AddLogLine(FormatText(LoadAppString(10), run.CurrentFile, PatchInfo.ToVersion.Text));
    run.PatchingFile = false;
  } else if (text.find("Applying") != std::string::npos &&
             (!PatchInfo.ExpansionFilesToPatch.empty() || !run.ExtensionStripped)) {
    ++run.FilesDone;
    window.AddLogLine("");
    window.AddLogLine(FormatText(LoadAppString(13), run.CurrentFile, PatchInfo.FromVersion.Text,
                                 PatchInfo.ToVersion.Text, run.FilesDone, run.TotalFiles));
    window.SetFileProgress(0);
    run.PatchingFile = true;
  }
}

const char* OnFileEnd(RunWindow& window) {
  RunState& run = window.State();
  window.SetFileProgress(100);
  const char* reply = engine_host::kGoOn;
  if (run.CancelRequested) {
    window.WarningDialog(FormatText(LoadAppString(14), PatchInfo.ShortName));
    reply = engine_host::kStop;
  } else {
    if (run.PatchingFile) window.AddLogLine(FormatText(LoadAppString(36), run.CurrentFile));
    if (run.CurrentFile == run.LastFile) {
      window.AddLogLine("");
      window.AddLogLine("Finishing update...");
    }
  }
  // The driver only runs this pass with at least one file to patch.
  if (run.TotalFiles > 0) window.SetOverallProgress(run.FilesDone * 50 / run.TotalFiles + 50);
  return reply;
}

}  // namespace

const char* PATCHW32_CALL UpdatePassCallback(uint32_t messageId, void* parameter) {
  RunWindow* window = ActiveRun::WindowForCallback();
  if (!window) return engine_host::kStop;
  switch (engine_host::MessageKind(messageId)) {
    case message::kNotice:
      OnNotice(*window, engine_host::TextOf(parameter));
      return engine_host::kGoOn;
    case message::kError:
      window->WarningDialog(engine_host::TextOf(parameter));
      window->State().PatchingFile = false;
      return engine_host::kStop;
    case message::kProgress:
      window->SetFileProgress(engine_host::ProgressPercentOf(parameter));
      return engine_host::kGoOn;
    case message::kFileBegin:
      OnFileBegin(*window, engine_host::TextOf(parameter));
      return engine_host::kGoOn;
    case message::kFileEnd:
      return OnFileEnd(*window);
    case message::kStatus:
      OnStatus(*window, engine_host::TextOf(parameter));
      return engine_host::kGoOn;
    case message::kCorruptData:
    case message::kCorruptIndex:
      // Said to the player before the pass stops, as every callback stops it for these ids.
      window->WarningDialog("Patch information invalid, this patcher may have been corrupted.");
      return engine_host::DefaultReply(messageId);
    default:
      return engine_host::DefaultReply(messageId);
  }
}

}  // namespace update
