// orvan-update: reads the patch description through the engine it carries and names the update.
#include <cstdio>

#include "description.h"
#include "platform.h"
#include "strings.h"

int main() {
  // A console program's dialogs are lines on stderr.
  platform::SetMessageBoxHandler([](const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  });
  if (ReadPatchInfo() != 0) return 1;
  std::string title = FormatText(LoadAppString(16), PatchInfo.ShortName.c_str(),
                                 PatchInfo.FromVersion.Text.c_str(), PatchInfo.ToVersion.Text.c_str());
  std::printf("%s\n", title.c_str());
  return 0;
}
