#include "app/session_options.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {
namespace {

std::string ClientIdOf(const std::string& folder, bool reusePort) {
    std::vector<std::string_view> args = {"--log-dir", folder};
    if (reusePort) {
        args.push_back("--reuse-port");
    }
    return ForwardSettingsOf(ParseOptions(args).options, 5000).clientId;
}

TEST(SessionOptionsTest, CentresSharingAPortHaveClientIdsOfTheirOwnThatLastAcrossRestarts) {
    const std::string alone = ClientIdOf("/var/lib/tarnwick/a", false);
    EXPECT_TRUE(alone.starts_with("tarnwick-") && alone.ends_with("-5000")) << alone;
    EXPECT_EQ(ClientIdOf("/var/lib/tarnwick/b", false), alone) << "one centre a port";
    const std::string a = ClientIdOf("/var/lib/tarnwick/a", true);
    EXPECT_EQ(a.size(), alone.size() + 9) << a;
    EXPECT_EQ(ClientIdOf("/var/lib/tarnwick/a/", true), a) << "the same folder";
    EXPECT_NE(ClientIdOf("/var/lib/tarnwick/b", true), a);
}

}  // namespace
}  // namespace tarnwick
