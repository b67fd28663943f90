// The detection verdicts' texts, from the string table.
#include "src/update/version_verdict.h"

#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"
#include "src/update/version_order.h"

namespace update {
namespace {

// "\"<name>\" version <v> detected."
std::string DetectedLine(const std::string& name, const std::string& version) {
  return "\"" + name + "\" " + LoadAppString(21) + " " + version + " " + LoadAppString(22);
}

}  // namespace

std::string ExpansionName() { return PatchInfo.ExpansionNames.empty() ? "" : PatchInfo.ExpansionNames.front(); }

std::string VerdictLine(const std::string& name, int phraseId, const std::string& version) {
  return FormatText("\"%s\" %s %s.", name, LoadAppString(phraseId), version);
}

void LogDetectedVersions(RunWindow& window) {
  window.AddLogLine("");
  window.AddLogLine(DetectedLine(PatchInfo.ProductName, PatchInfo.InstalledVersion.Text));
  if (PatchInfo.ExpansionVersion.Valid) {
    window.AddLogLine("");
    window.AddLogLine(DetectedLine(ExpansionName(), PatchInfo.ExpansionVersion.Text));
  }
  window.AddLogLine("");
}

void ReportUndeterminedVersion(RunWindow& window) {
  std::string joined;
  for (int id : {19, 27, 28, 29, 30, 31}) joined += LoadAppString(id);
  window.WarningDialog(FormatText(joined, PatchInfo.FromVersion.Text, PatchInfo.ShortName, PatchInfo.ShortName));
  window.AddLogLine("");
  window.AddLogLine(LoadAppString(19));
  window.AddLogLine(LoadAppString(27));
  window.AddLogLine(FormatText(LoadAppString(28), PatchInfo.FromVersion.Text));
  window.AddLogLine(FormatText(LoadAppString(29), PatchInfo.ShortName));
  window.AddLogLine(LoadAppString(30));
  window.AddLogLine(FormatText(LoadAppString(31), PatchInfo.ShortName));
  window.AddLogLine("");
  window.AddLogLine(LoadAppString(9));
}

void ReportVersionDecision(RunWindow& window) {
  const std::string& installed = PatchInfo.InstalledVersion.Text;
  const std::string& to = PatchInfo.ToVersion.Text;
  bool upToDate = installed == to;
  if (upToDate)
    window.AddLogLine(VerdictLine(PatchInfo.ProductName, 26, to));
  else if (IsMoreRecent(installed, to))
    window.AddLogLine(VerdictLine(PatchInfo.ProductName, 32, to));
  else
    window.AddLogLine(FormatText(LoadAppString(25), PatchInfo.ProductName));
  window.AddLogLine("");
  window.AddLogLine(LoadAppString(24));
  if (upToDate) window.AddLogLine("");
  window.State().AtTargetVersion = upToDate;
}

}  // namespace update
