// The names of an interrupted update's files that the program recognises are the ones the engine
// writes: should the engine rename them, this fails rather than the locator going blind.
#include <gtest/gtest.h>

#include "patchw32/engine/installation.h"  // the engine's own, seen here and nowhere else in the program
#include "src/engine_host/engine_contract.h"

namespace {

TEST(EngineContract, TheInterruptedUpdateFilesAreNamedAsTheEngineNamesThem) {
  EXPECT_STREQ(engine_host::interrupted_update::kJournalName, engine::kJournalName);
  EXPECT_STREQ(engine_host::interrupted_update::kSetAsideSuffix, engine::kSetAsideSuffix);
  EXPECT_STREQ(engine_host::interrupted_update::kStagedSuffix, engine::kStagedSuffix);
}

}  // namespace
