// The scripted engine: stops when a reply says stop, as the engine does.
#include "tests/unit/update/scripted_engine.h"

ScriptedEngine::ScriptedEngine() {
  engine_host::SetEngineRunnerForTesting([this](const std::string& args, engine_host::EngineCallback callback, int32_t) {
    arguments.push_back(args);
    if (args.find(" -i -r") != std::string::npos) return Play(recovery, callback, recoveryResult);
    if (args.find(" -i -j") != std::string::npos) return Play(verify, callback, verifyResult);
    return Play(update, callback, updateResult);
  });
}

ScriptedEngine::~ScriptedEngine() { engine_host::SetEngineRunnerForTesting(nullptr); }

int32_t ScriptedEngine::Play(const std::vector<EngineEvent>& events, engine_host::EngineCallback callback,
                             int32_t result) {
  for (const auto& event : events) {
    if (event.before) event.before();
    uint32_t number = event.number;
    std::string text = event.text;
    void* parameter = nullptr;
    if (event.id == 5 || event.id == 6) parameter = &number;
    else if (event.id == 2 || event.id == 4 || event.id == 7 || event.id == 9 || event.id == 11) parameter = text.data();
    const char* reply = callback(event.id, parameter);
    replies.push_back(reply ? reply : "stop");
    if (!reply) return 3;
  }
  return result;
}

std::vector<EngineEvent> VerifiedFile(const std::string& name, std::vector<EngineEvent> extra) {
  std::vector<EngineEvent> events{Text(7, name), Number(5, 16384)};
  events.insert(events.end(), extra.begin(), extra.end());
  events.push_back(Bare(8));
  return events;
}

std::vector<EngineEvent> PatchedFile(const std::string& name) {
  return {Text(7, name), Text(9, "Applying patch to " + name), Number(5, 32768), Bare(8)};
}

std::vector<EngineEvent> operator+(std::vector<EngineEvent> a, const std::vector<EngineEvent>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
