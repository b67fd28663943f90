// Start-up: nothing is shown when the patch can't be read, and the exit code is then 1.
#include "src/app/startup.h"

#include <exception>

#include "src/patchinfo/listing_pass.h"
#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

}  // namespace

std::optional<size_t> ContainsNoCase(const std::string& text, const std::string& pattern) {
  if (pattern.empty()) return 0;
  for (size_t start = 0; start + pattern.size() <= text.size(); ++start) {
    size_t i = 0;
    while (i < pattern.size() && Upper(text[start + i]) == Upper(pattern[i])) ++i;
    if (i == pattern.size()) return start;
  }
  return std::nullopt;
}

int RunProgram(const std::string& argumentText, FrontEnd& frontEnd) {
  int exitCode = 0;
  try {
    if (ReadPatchInfo() != 0) return 1;
    if (ContainsNoCase(argumentText, "SkipVersionCheck")) PatchInfo.SkipVersionCheck = true;
    if (ContainsNoCase(argumentText, "Backup")) PatchInfo.Backup = true;
    frontEnd.SetApplicationTitle(FormatText(LoadAppString(16), PatchInfo.ShortName.c_str(),
                                            PatchInfo.FromVersion.Text.c_str(), PatchInfo.ToVersion.Text.c_str()));
    TForm2 welcome;
    TForm1 progress;
    Form2 = &welcome;
    Form1 = &progress;
    exitCode = frontEnd.Run(welcome, progress);
  } catch (const std::exception& error) {
    frontEnd.ExceptionBox(error.what());
  }
  Form1 = nullptr;
  Form2 = nullptr;
  return exitCode;
}
