// One registration at a time, restored in reverse order: passes never overlap, but a nested
// registration (a test's, say) must not leave a dangling window behind.
#include "src/update/active_run.h"

#include "platform/desktop.h"

namespace update {
namespace {

RunWindow*& Registered() {
  static RunWindow* window = nullptr;
  return window;
}

}  // namespace

ActiveRun::ActiveRun(RunWindow& window) : previous_(Registered()) { Registered() = &window; }

ActiveRun::~ActiveRun() { Registered() = previous_; }

RunWindow* ActiveRun::Window() { return Registered(); }

RunWindow* ActiveRun::WindowForCallback() {
  platform::ProcessPendingMessages();
  return Registered();
}

}  // namespace update
