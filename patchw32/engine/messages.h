// The engine's texts to the host. The updater acts on a few phrases in them ("file of the same
// name", "Insufficient Storage" with the byte count right before " bytes", "New Version",
// "Applying" at the start); the rest is for the player to read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine::messages {

inline std::string NotExpectedVersion(const std::string& name) {
  return name + ": a file of the same name was found, but it is not the version this patch updates; "
                "it is left as it is.";
}

inline std::string ReferenceNotExpected(const std::string& name, const std::vector<std::string>& references) {
  std::string from = references.empty() ? std::string() : references.front();
  for (size_t i = 1; i < references.size(); ++i) from += (i + 1 == references.size() ? " and " : ", ") + references[i];
  return name + " is made from " + from +
         (references.size() == 1 ? ", which is" : ", one of which is") +
         " missing or not the version this patch updates; it is left as it is.";
}

inline std::string MissingFile(const std::string& name) {
  return name + ": no file of the same name was found, and this patch needs it.";
}

inline std::string AlreadyNew(const std::string& name) { return name + " is already the New Version."; }

inline std::string Applying(const std::string& name, bool removal) {
  return removal ? "Applying the patch to " + name + ": the new version no longer has it."
                 : "Applying the patch to " + name + ".";
}

// The required count must stand right before the first " bytes", after a blank.
inline std::string InsufficientStorage(uint64_t required, uint64_t free) {
  return "Insufficient Storage on the installation's drive: the update needs " + std::to_string(required) +
         " bytes; there are " + std::to_string(free) + " bytes free.";
}

inline std::string CannotRead(const std::string& name) {
  return name + " could not be read; another program may be using it.";
}

inline std::string CannotReadPatch() { return "The patch data could not be read from the updater's file."; }

inline std::string Unchanged() { return " No changes were made to the installation."; }

inline std::string BeingUpdated(const std::string& folder) {
  return folder + " is being updated by another program; nothing was changed.";
}

inline std::string InterruptedUpdateFinished() { return "An interrupted update was finished."; }

inline std::string InterruptedUpdateUndone() {
  return "An interrupted update was undone; the installation is as it was before it.";
}

// `why` begins with "the update journal <path>".
inline std::string JournalLeftAlone(const std::string& why) {
  std::string text = why;
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text + ". It was left alone, and nothing was changed.";
}

inline std::string InterruptedUpdateStuck(const std::string& folder, const std::string& error,
                                          const std::string& journal) {
  return "An interrupted update of " + folder + " could not be finished or undone: " + error + ". Its journal " +
         journal + " was kept, so that the next start of the update can try again.";
}

}  // namespace engine::messages
