#pragma once
// Environment of the network tests: no proxy, no host override and a 1 s time-out, whatever
// the machine's environment says.
#include <gtest/gtest.h>

#include "support/http_server.h"

namespace vx::test {

class NetTest : public ::testing::Test {
 protected:
  ScopedEnv FNoOverride{"VX64_CONNECT_TO", nullptr};
  ScopedEnv FTimeout{"VX64_HTTP_TIMEOUT_MS", "1000"};
  ScopedEnv FProxy1{"http_proxy", nullptr};
  ScopedEnv FProxy2{"https_proxy", nullptr};
  ScopedEnv FProxy3{"HTTPS_PROXY", nullptr};
  ScopedEnv FProxy4{"all_proxy", nullptr};
  ScopedEnv FProxy5{"ALL_PROXY", nullptr};
};

}  // namespace vx::test
