// The way out in a process that installed none, as in every test program: it fails the process, loudly, instead of
// ending it with the status of a passed test.
#include "platform/programend.h"

#include <gtest/gtest.h>

TEST(ProgramEndDeathTest, AWayOutNobodyInstalledFailsTheProcessAndSaysSo) {
    EXPECT_EXIT(platform::endProgram(), testing::ExitedWithCode(1),
                "way out was taken, but this process installed none");
}
