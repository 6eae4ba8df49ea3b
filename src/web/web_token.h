#pragma once

// The operator page's access token: the first line of a file, read again whenever the file
// changes, so that writing a new token revokes the old one with no restart. Without a file
// given, one is made at the first start with a random token, readable by its owner alone.

#include <sys/types.h>

#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// Where the token file is made when none is given: $STATE_DIRECTORY (a service's own folder)
// when set, else the log folder's parent; "web-token" in it.
[[nodiscard]] std::string DefaultTokenFile(const std::string& logFolder);

// Makes path with a new random token, mode 0600, unless it exists. Empty, or why not.
[[nodiscard]] std::string MakeTokenFile(const std::string& path);

// 32 random bytes in hex: a token, a session's id.
[[nodiscard]] std::string RandomSecret();

// Equal texts, in a time that tells nothing of where they differ.
[[nodiscard]] bool SameSecret(std::string_view a, std::string_view b);

class WebToken {
public:
    explicit WebToken(std::string path) : m_path(std::move(path)) {}

    [[nodiscard]] const std::string& Path() const { return m_path; }
    // Any thread: the given text is the token as the file holds it now. A file that cannot be
    // read, or holds an empty line, accepts nothing.
    [[nodiscard]] bool Accepts(std::string_view given);

private:
    struct Stamp {
        ino_t inode = 0;
        off_t size = 0;
        std::timespec changed{};
    };
    // Under m_mutex: the token, read again when the file's stamp moved.
    const std::string& Current();

    std::string m_path;
    std::mutex m_mutex;
    std::optional<Stamp> m_stamp;
    std::string m_token;
};

}  // namespace tarnwick
