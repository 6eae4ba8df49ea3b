#include "app/options.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "app/option_table.h"
#include "net/tcp_listen.h"

namespace tarnwick {
namespace {

// A value that looks like an option is taken for a forgotten value.
bool LooksLikeOption(std::string_view text) {
    return text.starts_with("--");
}

void SetValue(const OptionRow& row, std::string_view text, Options& options, std::string& error) {
    if (!row.take(text, options)) {
        error = std::string(row.name) + " takes " + std::string(row.wanted) + ", not \"" +
                std::string(text) + "\"";
    }
}

// Takes the option at args[i] ("--flag", "--name value" or "--name=value"); false if it is
// none.
bool TakeOption(std::span<const std::string_view> args, std::size_t& i, Options& options,
                std::string& error) {
    const std::string_view arg = args[i];
    for (const OptionRow& row : OptionTable()) {
        if (row.flag != nullptr && arg == row.name) {
            options.*row.flag = true;
            return true;
        }
        if (row.take == nullptr || !arg.starts_with(row.name)) {
            continue;
        }
        if (arg == row.name) {
            if (i + 1 >= args.size() || LooksLikeOption(args[i + 1])) {
                error = std::string(row.name) + " needs a value";
            } else {
                SetValue(row, args[++i], options, error);
            }
            return true;
        }
        if (arg[row.name.size()] == '=') {
            SetValue(row, arg.substr(row.name.size() + 1), options, error);
            return true;
        }
    }
    return false;
}

std::string MissingWebPartner(const Options& o) {
    const std::pair<bool, std::string_view> needWeb[] = {
        {o.webTokenFile.has_value(), "--web-token-file"},
        {o.webCert.has_value(), "--web-cert"},
        {o.webKey.has_value(), "--web-key"},
        {o.webInsecure, "--web-insecure"}};
    for (const auto& [given, name] : needWeb) {
        if (given && !o.web) {
            return std::string(name) + " needs --web [ADDR:]PORT";
        }
    }
    if (o.webCert.has_value() != o.webKey.has_value()) {
        return o.webCert ? "--web-cert needs --web-key" : "--web-key needs --web-cert";
    }
    return "";
}

// The options that only mean something beside another: the first one missing its partner.
std::string MissingPartner(const Options& o) {
    const std::pair<bool, std::string_view> needMqtt[] = {
        {o.mqttTopic != Options{}.mqttTopic, "--mqtt-topic"},
        {o.mqttClientId.has_value(), "--mqtt-client-id"},
        {o.mqttUser.has_value(), "--mqtt-user"},
        {o.mqttPasswordFile.has_value(), "--mqtt-password-file"},
        {o.mqttCa.has_value(), "--mqtt-ca"},
        {o.mqttReplayFrom.has_value(), "--mqtt-replay-from"},
        {o.mqttSkipResends, "--mqtt-skip-resends"}};
    for (const auto& [given, name] : needMqtt) {
        if (given && !o.mqtt) {
            return std::string(name) + " needs --mqtt URL";
        }
    }
    const std::pair<bool, std::string_view> needFind[] = {
        {o.findFrom.has_value(), "--from"},
        {o.findTo.has_value(), "--to"},
        {o.findDevice.has_value(), "--device"},
        {o.findGrep.has_value(), "--grep"},
        {o.findFormat != FindFormat::Text, "--format"}};
    for (const auto& [given, name] : needFind) {
        if (given && !o.find) {
            return std::string(name) + " needs --find";
        }
    }
    if (o.deleteUnforwarded && !o.deleteAfter) {
        return "--delete-unforwarded needs --delete-after DAYS";
    }
    if (o.mqttUser.has_value() != o.mqttPasswordFile.has_value()) {
        return o.mqttUser ? "--mqtt-user needs --mqtt-password-file"
                          : "--mqtt-password-file needs --mqtt-user";
    }
    if (o.mqttCa && !o.mqtt->tls) {
        return "--mqtt-ca needs an mqtts:// URL";
    }
    return MissingWebPartner(o);
}

// Options that cannot both be meant.
std::string Clash(const Options& o) {
    if (o.ipv6Only && o.bind && !o.bind->IsIpv6()) {
        return "--ipv6-only cannot listen on the IPv4 address " + o.bind->Text() +
               " given to --bind";
    }
    // The token and every command would cross the network readable by anyone on the way.
    if (o.web && !IsLoopbackAddress(o.web->address) && !o.webCert && !o.webInsecure) {
        return "--web " + o.web->address +
               " would send the access token over the network unencrypted: give --web-cert "
               "FILE and --web-key FILE, or --web-insecure for a trusted network";
    }
    return "";
}

// Files the options name that are read only later: one that cannot be read would start a centre
// that the broker refuses for ever ("not authorised; retrying").
std::string Unreadable(const Options& o) {
    const std::pair<const std::optional<std::string>&, std::string_view> files[] = {
        {o.mqttPasswordFile, "--mqtt-password-file"},
        {o.webCert, "--web-cert"},
        {o.webKey, "--web-key"}};
    for (const auto& [file, name] : files) {
        if (file && access(file->c_str(), R_OK) != 0) {
            return std::string(name) + " cannot be read: " + *file + ": " + std::strerror(errno);
        }
    }
    return "";
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        if (!TakeOption(args, i, parsed.options, parsed.error)) {
            parsed.error = "unknown option: " + std::string(args[i]);
        }
    }
    if (parsed.error.empty()) {
        parsed.error = MissingPartner(parsed.options);
    }
    if (parsed.error.empty()) {
        parsed.error = Clash(parsed.options);
    }
    if (parsed.error.empty()) {
        parsed.error = Unreadable(parsed.options);
    }
    return parsed;
}

}  // namespace tarnwick
