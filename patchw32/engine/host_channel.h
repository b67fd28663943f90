// The engine's side of the callback: every message to the host goes through here.
#pragma once

#include <cstdint>
#include <string>

#include "patchw32/include/patchw32.h"

namespace engine {

class HostChannel {
 public:
  explicit HostChannel(PatchCallback callback) : callback_(callback) {}

  // False when the host answered null: the pass must stop.
  bool Send(PatchMessageId id, void* parameter = nullptr) {
    return callback_(static_cast<uint32_t>(id), parameter) != nullptr;
  }
  bool SendText(PatchMessageId id, const std::string& text) {
    return Send(id, const_cast<char*>(text.c_str()));
  }
  bool SendNumber(PatchMessageId id, uint32_t value) { return Send(id, &value); }

 private:
  PatchCallback callback_;
};

}  // namespace engine
