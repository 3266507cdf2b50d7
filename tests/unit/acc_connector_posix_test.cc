// The ACC recorder against pages it cannot map. Only a POSIX region can be
// empty; Windows refuses to create a section of no size.
#include <gtest/gtest.h>

#include <string>

#include "common/platform/platform.h"
#include "formats/acc_pages.h"
#include "simulators/acc/acc_connector.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

// A page that is there but cannot be mapped (it holds no byte) is a refusal
// the recorder reports, naming the page.
TEST(AccConnector, SaysWhichPageItCouldNotMap) {
  ScopedNamePrefix prefix;
  const auto graphics = platform::SharedMemory::create_or_open(acc::graphics_page.mapping_name, 16384);
  const auto physics = platform::SharedMemory::create_or_open(acc::physics_page.mapping_name, 0);
  ASSERT_TRUE(graphics && physics);
  acc::Connector connector;
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{0}));
  const platform::Failure failure = connector.attach_failure();
  EXPECT_FALSE(failure.empty());
  EXPECT_FALSE(failure.missing());
  EXPECT_NE(failure.object.find(prefix.prefix() + "acpmf_physics"), std::string::npos) << failure.object;
}

}  // namespace vove
