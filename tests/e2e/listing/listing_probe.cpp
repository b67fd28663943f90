// A test program that carries the real engine: it runs the listing pass over its own payload, as
// the updater does, and prints every description field of PatchInfo, one per line.
#include <cstdio>
#include <string>

#include "platform/desktop.h"
#include "src/patchinfo/description.h"
#include "src/patchinfo/listing_pass.h"
#include "src/patchinfo/patch_info.h"

namespace {

void Print(const char* name, const std::string& value) { std::printf("%s=%s\n", name, value.c_str()); }

void Print(const char* name, const TextList& values) {
  std::string joined;
  for (const auto& value : values) joined += (joined.empty() ? "" : "|") + value;
  Print(name, "[" + joined + "]");
}

}  // namespace

int main() {
  platform::SetMessageBoxHandler([](const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  });
  int32_t result = ReadPatchInfo();
  Print("Result", std::to_string(result));
  Print("Valid", PatchInfo.Valid ? "true" : "false");
  Print("ProductName", PatchInfo.ProductName);
  Print("ShortName", PatchInfo.ShortName);
  Print("ExeName", PatchInfo.ExeName);
  Print("FromVersion", PatchInfo.FromVersion.Text + " (" + std::to_string(PatchInfo.FromVersion.FieldCount) + ")");
  Print("ToVersion", PatchInfo.ToVersion.Text + " (" + std::to_string(PatchInfo.ToVersion.FieldCount) + ")");
  Print("RegistryKeys", PatchInfo.RegistryKeys);
  Print("ChecksumFiles", PatchInfo.ChecksumFiles);
  Print("ChecksumValues", PatchInfo.ChecksumValues);
  Print("ChecksumLengths", PatchInfo.ChecksumLengths);
  Print("ChecksumVersions", PatchInfo.ChecksumVersions);
  Print("ExpansionNames", PatchInfo.ExpansionNames);
  Print("ExpansionIds", PatchInfo.ExpansionIds);
  Print("ExpansionVersions", PatchInfo.ExpansionVersions);
  Print("ExpansionExtensions", PatchInfo.ExpansionExtensions);
  return result == 0 ? 0 : 1;
}
