// A failure nothing catches ends the program with its name and status 1.
#include "app/application.h"

#include <gtest/gtest.h>
#include <stdexcept>

TEST(UncaughtFailure, EndsWithItsNameAndStatus1)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runGuarded([]() -> int { throw std::runtime_error("banco de dados fora do ar"); }, true),
                ::testing::ExitedWithCode(1), "Erro não tratado.*banco de dados fora do ar");
    EXPECT_EXIT(runGuarded([]() -> int { throw 42; }, true), ::testing::ExitedWithCode(1), "falha desconhecida");
    EXPECT_EQ(runGuarded([] { return 7; }, true), 7);
}
