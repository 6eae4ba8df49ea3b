// tarnwick-device: a stand-in for the tracking devices in the field, to test and load the centre.

#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "datagram_source.h"
#include "device_options.h"
#include "peer_loop.h"
#include "report.h"

namespace {

using namespace tarnwick::device;

constexpr int kUsageStatus = 2;

DatagramSource SourceFor(const DeviceOptions& options) {
    if (!options.datagrams.empty()) {
        return DatagramSource::FromList(options.datagrams);
    }
    return DatagramSource::Generated(options.count.value_or(1), options.size.value_or(0));
}

int Run(const DeviceOptions& options) {
    const DatagramSource source = SourceFor(options);
    PeerLoop loop(options, source, std::cout, options.quiet ? nullptr : &std::cerr);
    const PeerStats stats = loop.Run();
    std::cout << FormatReport(stats) << std::endl;
    return options.expect_replies && MissingReplies(stats) > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseDeviceOptions(args);
    if (std::holds_alternative<HelpRequested>(parsed)) {
        std::cout << UsageText();
        return 0;
    }
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        std::cerr << "tarnwick-device: " << error->message << '\n' << UsageText();
        return kUsageStatus;
    }
    try {
        return Run(std::get<DeviceOptions>(parsed));
    } catch (const std::exception& failure) {
        std::cerr << "tarnwick-device: " << failure.what() << '\n';
        return 1;
    }
}
