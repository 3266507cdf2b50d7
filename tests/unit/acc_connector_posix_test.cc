// What the named pages look like on a POSIX host, where they live in /dev/shm.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dumper/acc_connector.h"
#include "unit/acc_test_support.h"

TEST(AccConnectorPosix, NoSimulatorLeavesNothingInDevShm) {
  acc_test::ScopedNamePrefix prefix;
  const std::string base = "/dev/shm/" + prefix.prefix();
  ACC::Connector connector;  // still alive: its failed poll must hold nothing
  EXPECT_FALSE(connector.connect(0));
  EXPECT_FALSE(std::filesystem::exists(base + "acpmf_graphics"));
  EXPECT_FALSE(std::filesystem::exists(base + "acpmf_physics"));
  EXPECT_FALSE(std::filesystem::exists(base + "acpmf_static"));
}
