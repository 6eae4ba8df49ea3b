#pragma once

// One HTTP request of the operator page as the API sees it, and its answer: plain values, so
// every rule of the API is tested without a socket.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick {

struct WebRequest {
    std::string method;                         // "GET", "POST", ...
    std::string path;                           // "/api/devices", undecoded
    std::map<std::string, std::string> query;   // decoded
    std::map<std::string, std::string> header;  // names in lower case
    std::string body;
    std::string client;  // the peer's address, as the audit and the attempt limit name it

    [[nodiscard]] std::string_view Header(const std::string& name) const {
        const auto found = header.find(name);
        return found == header.end() ? std::string_view() : std::string_view(found->second);
    }
};

struct WebReply {
    unsigned status = 200;
    std::string body = {};
    std::string type = "application/json";
    std::vector<std::pair<std::string, std::string>> headers = {};
    bool operator==(const WebReply&) const = default;
};

// {"error": words}, as every refusal of the API answers.
[[nodiscard]] WebReply ErrorReply(unsigned status, std::string_view words);

}  // namespace tarnwick
