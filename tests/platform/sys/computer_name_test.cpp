#include "qvd3/platform/sys/computer_name.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace qv {
namespace {

TEST(ComputerNameTest, IsTheHostNameOfTheMachine) {
  char buffer[256] = {};
  ASSERT_EQ(gethostname(buffer, sizeof buffer - 1), 0);
  EXPECT_EQ(ReadComputerName(), buffer);
  EXPECT_FALSE(ReadComputerName().empty());
}

TEST(ComputerNameTest, OverridesNestAndRestore) {
  const std::string real = ReadComputerName();
  {
    ComputerNameOverride workstation("ESTACAO-07");
    EXPECT_EQ(ReadComputerName(), "ESTACAO-07");
    {
      ComputerNameOverride unavailable("");
      EXPECT_EQ(ReadComputerName(), "");
    }
    EXPECT_EQ(ReadComputerName(), "ESTACAO-07");
  }
  EXPECT_EQ(ReadComputerName(), real);
}

}  // namespace
}  // namespace qv
