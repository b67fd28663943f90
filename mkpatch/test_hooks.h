// Test-only hook: where a test damages what the encoder made, to see the self-check refuse it.
//
// Only the builder's test variant (ORVAN_MKPATCH_TEST_HOOKS, built for tests/unit/mkpatch) has a
// handler to call; in the builder that ships, EncodedHook is an empty inline function.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mkpatch {

#ifdef ORVAN_MKPATCH_TEST_HOOKS
// Called with each entry's data block as the encoder made it, before it is hashed and spooled.
void EncodedHook(const std::string& path, std::vector<std::byte>& data);
using EncodedHandler = std::function<void(const std::string& path, std::vector<std::byte>& data)>;
void SetEncodedHandler(EncodedHandler handler);
#else
inline void EncodedHook(const std::string&, std::vector<std::byte>&) {}
#endif

}  // namespace mkpatch
