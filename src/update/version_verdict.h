// What the run says about the installed version: detected, undetermined, or not the one the
// patch starts from.
#pragma once

#include <string>

#include "src/update/run_window.h"

namespace update {

// The expansion's name as its first record gives it; empty when there is none.
std::string ExpansionName();

// "\"<name>\" <phrase of string phraseId> <version>."
std::string VerdictLine(const std::string& name, int phraseId, const std::string& version);

// The "version ... detected." lines of the game and, when one is installed, the expansion.
void LogDetectedVersions(RunWindow& window);

// No installed version could be found: the warning dialog and its lines in the log.
void ReportUndeterminedVersion(RunWindow& window);

// The installed version is not the one the patch starts from: say which case it is.
void ReportVersionDecision(RunWindow& window);

}  // namespace update
