#include "log/log_file_reader.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <memory>

namespace tarnwick {
namespace {

constexpr std::size_t kChunk = 1024 * 1024;

// Reads the next chunk onto the end of buffer: the bytes read, 0 at the end, -1 on error.
class Source {
public:
    Source(const std::string& path, bool compressed) {
        if (compressed) {
            m_archive = gzopen(path.c_str(), "rb");
            m_error = m_archive ? 0 : (errno != 0 ? errno : ENOMEM);
        } else {
            m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            m_error = m_fd >= 0 ? 0 : errno;
        }
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source() {
        if (m_archive) {
            gzclose(m_archive);
        }
        if (m_fd >= 0) {
            close(m_fd);
        }
    }

    [[nodiscard]] int Error() const { return m_error; }

    long ReadOnto(std::string& buffer) {
        const std::size_t before = buffer.size();
        buffer.resize(before + kChunk);
        long got = 0;
        do {
            got = m_archive ? gzread(m_archive, buffer.data() + before, kChunk)
                            : read(m_fd, buffer.data() + before, kChunk);
        } while (got < 0 && !m_archive && errno == EINTR);
        if (got < 0) {
            m_error = m_archive ? EIO : errno;
        }
        buffer.resize(before + static_cast<std::size_t>(got > 0 ? got : 0));
        return got;
    }

private:
    gzFile m_archive = nullptr;
    int m_fd = -1;
    int m_error = 0;
};

}  // namespace

FileRead ReadLogFile(const std::string& path, bool compressed, const EntrySink& sink) {
    Source source(path, compressed);
    FileRead result{0, source.Error()};
    std::string buffer;
    std::uint64_t base = 0;
    while (result.error == 0) {
        const long got = source.ReadOnto(buffer);
        if (got < 0) {
            result.error = source.Error();
            break;
        }
        ParsedEntries parsed = ParseLogEntries(buffer, base, got == 0);
        for (const LogEntry& entry : parsed.entries) {
            sink(entry);
        }
        result.passedOver += parsed.passedOver;
        buffer.erase(0, parsed.used);
        base += parsed.used;
        if (got == 0) {
            result.passedOver += buffer.empty() ? 0U : 1U;  // a last line with no line end
            break;
        }
    }
    return result;
}

}  // namespace tarnwick
