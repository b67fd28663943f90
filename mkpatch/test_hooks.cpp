// The test variant's hook: a test installs a handler that changes one entry's data block.
#include "mkpatch/test_hooks.h"

#ifdef ORVAN_MKPATCH_TEST_HOOKS
namespace mkpatch {
namespace {
EncodedHandler handler;
}  // namespace

void EncodedHook(const std::string& path, std::vector<std::byte>& data) {
  if (handler) handler(path, data);
}

void SetEncodedHandler(EncodedHandler newHandler) { handler = std::move(newHandler); }

}  // namespace mkpatch
#endif
