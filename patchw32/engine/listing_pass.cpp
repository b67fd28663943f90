// Each record goes out as one id 11 text with one extra final character, which the host drops.
#include "patchw32/engine/listing_pass.h"

namespace engine {

int32_t RunListingPass(const payload::PayloadIndex& index, HostChannel& host) {
  for (const auto& record : index.records) {
    if (!host.SendText(PW_MSG_RECORD, record + "\n")) return PW_STOPPED;
  }
  return PW_OK;
}

}  // namespace engine
