// Posix backend: whether the standard streams are terminals.
#include <unistd.h>

#include "platform/files.h"

namespace platform {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) != 0; }
bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace platform
