// kvr-stress in the ordinary suite, briefly and under AddressSanitizer: every thread of the game
// on the mod at once (game thread, engine path threads, churn, render) and the program's own
// checks of what happened. scripts/stress.sh runs it for longer under ThreadSanitizer.
#include <gtest/gtest.h>

#include <filesystem>

#include "posix/run_tool.h"

namespace {

TEST(KvrStress, AShortRunWithEveryThreadPassesItsChecks) {
  ASSERT_TRUE(std::filesystem::exists(std::string(KVR_BINARY_DIR) + "/kvr-stress"));
  const auto r = kvr::test::RunTool("kvr-stress", "--seconds 3 --thugs 8 --seed 5");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("every check passed\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
}

TEST(KvrStress, BadOptionsAreRefused) {
  const auto r = kvr::test::RunTool("kvr-stress", "--seconds 0");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.out.find("--seconds must be above 0"), std::string::npos) << r.out;
}

}  // namespace
