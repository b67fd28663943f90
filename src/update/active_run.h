// The window of the engine pass under way: the engine's callbacks take no context pointer, so a
// pass registers its window here for its length. Private to the update run.
#pragma once

#include "src/update/run_window.h"

namespace update {

class ActiveRun {
 public:
  explicit ActiveRun(RunWindow& window);
  ~ActiveRun();
  ActiveRun(const ActiveRun&) = delete;
  ActiveRun& operator=(const ActiveRun&) = delete;

  // The registered window; null when no pass is under way.
  static RunWindow* Window();
  // What each engine callback does first: lets the window handle what the player did meanwhile,
  // then gives the registered window (null when no pass is under way: the callback then stops the
  // pass, so nothing changes unseen).
  static RunWindow* WindowForCallback();

 private:
  RunWindow* previous_;
};

}  // namespace update
