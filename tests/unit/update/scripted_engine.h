// A scripted engine in the real one's place: plays a list of events per pass, as the engine
// would send them, and records the arguments and the replies.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "src/engine_host/engine_loader.h"

struct EngineEvent {
  uint32_t id;
  std::string text;                  // ids 2, 4, 7, 9, 11
  uint32_t number = 0;               // ids 5, 6
  std::function<void()> before = {};  // what the user does just before this event
};

inline EngineEvent Text(uint32_t id, std::string text) { return {id, std::move(text)}; }
inline EngineEvent Number(uint32_t id, uint32_t number) { return {id, "", number}; }
inline EngineEvent Bare(uint32_t id) { return {id, ""}; }

class ScriptedEngine {
 public:
  ScriptedEngine();
  ~ScriptedEngine();
  void Reset() {
    recovery.clear(), verify.clear(), update.clear(), arguments.clear(), replies.clear();
    recoveryResult = verifyResult = updateResult = 0;
  }

  std::vector<EngineEvent> recovery;  // silent by default: nothing to recover
  std::vector<EngineEvent> verify;
  std::vector<EngineEvent> update;
  int32_t recoveryResult = 0;
  int32_t verifyResult = 0;
  int32_t updateResult = 0;

  std::vector<std::string> arguments;  // of each pass, in order
  std::vector<std::string> replies;    // "" or "Y" or "stop", per event sent

 private:
  int32_t Play(const std::vector<EngineEvent>& events, engine_host::EngineCallback callback, int32_t result);
};

// One file of a pass: id 7, progress, optional extra events, id 8.
std::vector<EngineEvent> VerifiedFile(const std::string& name, std::vector<EngineEvent> extra = {});
std::vector<EngineEvent> PatchedFile(const std::string& name);
std::vector<EngineEvent> operator+(std::vector<EngineEvent> a, const std::vector<EngineEvent>& b);
