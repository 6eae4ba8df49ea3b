#include "web/web_token.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace tarnwick {
namespace {

constexpr std::size_t kTokenBytes = 32;

}  // namespace

std::string RandomSecret() {
    std::array<std::uint8_t, kTokenBytes> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const auto n = getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        }
    }
    constexpr char kDigits[] = "0123456789abcdef";
    std::string token;
    for (const std::uint8_t byte : bytes) {
        token += kDigits[byte >> 4];
        token += kDigits[byte & 0xF];
    }
    return token;
}

std::string DefaultTokenFile(const std::string& logFolder) {
    if (const char* state = std::getenv("STATE_DIRECTORY"); state != nullptr && *state != '\0') {
        // systemd may list several folders, separated by ':': the first is the unit's own.
        return std::string(state).substr(0, std::string_view(state).find(':')) + "/web-token";
    }
    const auto slash = logFolder.rfind('/');
    const std::string parent = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : logFolder.substr(0, slash);
    return (parent == "/" ? "" : parent) + "/web-token";
}

std::string MakeTokenFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno == EEXIST ? "" : std::strerror(errno);
    }
    const std::string line = RandomSecret() + "\n";
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const int error = errno;
    close(fd);
    if (!written) {
        unlink(path.c_str());
        return std::strerror(error);
    }
    return "";
}

bool SameSecret(std::string_view a, std::string_view b) {
    // Every byte of the longer is looked at, whatever the lengths are.
    const std::size_t length = std::max(a.size(), b.size());
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < length; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        differ |= static_cast<unsigned char>(x ^ y);
    }
    return differ == 0;
}

bool WebToken::Accepts(std::string_view given) {
    std::lock_guard lock(m_mutex);
    const std::string& token = Current();
    return !token.empty() && SameSecret(given, token);
}

const std::string& WebToken::Current() {
    struct stat info {};
    if (stat(m_path.c_str(), &info) != 0) {
        m_stamp.reset();
        m_token.clear();
        return m_token;
    }
    const Stamp stamp{info.st_ino, info.st_size, info.st_mtim};
    if (m_stamp && m_stamp->inode == stamp.inode && m_stamp->size == stamp.size &&
        m_stamp->changed.tv_sec == stamp.changed.tv_sec &&
        m_stamp->changed.tv_nsec == stamp.changed.tv_nsec) {
        return m_token;
    }
    m_stamp = stamp;
    std::ifstream file(m_path);
    m_token.clear();
    std::getline(file, m_token);
    if (!m_token.empty() && m_token.back() == '\r') {
        m_token.pop_back();
    }
    return m_token;
}

}  // namespace tarnwick
