#include "centre/centre.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/udp.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// A front end that only listens: what the centre reported, and what it drained, in order.
struct Watcher {
    std::vector<std::string> lines;
    std::vector<std::string> drained;
    bool listeningAtLastWork = true;
};

Options OptionsIn(const test::TempFolder& folder) {
    Options options;
    options.autoReply = true;
    options.logDir = folder.Path();
    return options;
}

CentreHooks HooksOf(Watcher& watcher) {
    CentreHooks hooks;
    hooks.wake = [] {};
    hooks.report = [&watcher](std::string_view line) { watcher.lines.emplace_back(line); };
    return hooks;
}

// The stop is one order for both front ends: reception ends, what it took in is answered and
// reaches the front end's last drain, and the stop line comes last, counting it.
TEST(CentreTest, StopsReceptionBeforeTheLastDrainAndReportsTheStopLast) {
    test::TempFolder folder;
    Watcher watcher;
    Centre centre(OptionsIn(folder), HooksOf(watcher));
    ASSERT_TRUE(centre.Listen(0).ok());
    EXPECT_EQ(watcher.lines.front(),
              "listening on UDP port " + std::to_string(centre.session().Port()));
    test::UdpPeer device = test::UdpPeer::BindLoopback();
    device.SendTo(centre.session().Port(), "#ST,123;STA:1;#");
    ASSERT_TRUE(device.Receive(5s));  // "@517": logged and answered

    centre.Stop([&] {
        watcher.listeningAtLastWork = centre.session().IsListening();
        std::vector<HandledRecord> batch;
        centre.DrainInto(batch);
        for (const HandledRecord& handled : batch) {
            watcher.drained.push_back(handled.record ? handled.record->text : "");
        }
    });
    EXPECT_FALSE(watcher.listeningAtLastWork);
    ASSERT_EQ(watcher.drained.size(), 1U);
    EXPECT_TRUE(watcher.drained[0].ends_with(":#ST,123;STA:1;#")) << watcher.drained[0];
    EXPECT_TRUE(watcher.lines.back().starts_with("stopped; received 1, records 1"))
        << watcher.lines.back();
}

}  // namespace
}  // namespace tarnwick
