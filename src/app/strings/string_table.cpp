// The string table's texts, numbered as the Windows STRINGTABLE resource numbers them.
#include "string_table.h"

#include <map>

namespace {

constexpr const char* kSupport = "support@quillmer-games.example";

}  // namespace

std::string LoadAppString(int id) {
  static const std::map<int, std::string> kStrings = {
      {1, "Update Utility"},
      {2, "Please close Orvan and any other programs before you update."},
      {3, "This utility will try to update %s from version %s to %s."},
      {4, "Update completed successfully!"},
      {5, "OK"},
      {6, "Cancel"},
      {7, "Save Log to File"},
      {8, std::string("This program will try to update your %s installation from version %s to version %s.\n\n"
                      "If you have any difficulty upgrading, contact Technical Support at ") + kSupport + " ."},
      {9, "Update did not complete successfully."},
      {10, "%s is already current or more recent than version %s."},
      {11, "There is one file to be patched in this update."},
      {12, "There are %d files to be patched in this update."},
      {13, "Patching %s from %s to %s, file #%d of %d."},
      {14, "Update process did not complete. No changes were made to your %s installation."},
      {15, "Update utility could not determine version number to patch to."},
      {16, "%s Update: version %s to %s"},
      {17, "Will search for %s installation in %s."},
      {18, std::string("This program will try to update your %s installation found in\n%s\n"
                       "from version %s to version %s.\n\n"
                       "If you have any difficulty upgrading, contact Technical Support at ") + kSupport + " ."},
      {19, "Unable to determine installed version. "},
      {20, "%s Update log written to %s."},
      {21, "version"},
      {22, "detected."},
      {23, "Update completed successfully, no files needed to be patched."},
      {24, "No update will be performed."},
      {25, "Your installed version of %s does not match the version this update is designed to patch from."},
      {26, "is already up to date with version"},
      {27, "The version you have installed may be newer than the version this patch "},
      {28, "was designed to upgrade (%s), or it may be modified or corrupt. "},
      {29, "Please look on the %s web site for an update that matches your installed version, "},
      {30, "which is identified on the initial Orvan logo screen, "},
      {31, "or re-install from your %s CD and patch from there."},
      {32, "is already more recent than version"},
      {33, "Beginning patch process. This may take several minutes..."},
      {34, "%s appears to be corrupt or not part of version %s."},
      {35, "Update error, terminating with no changes made to your installation."},
      {36, "%s patched successfully."},
      {37, "No files in your %s version %s installation were modified."},
      {38, "%s bytes available on drive %c:, %s bytes required for patch."},
      {39, "%s is unexpectedly not consistent with version %s."},
  };
  auto found = kStrings.find(id);
  return found == kStrings.end() ? std::string() : found->second;
}
