#include "log/gzip_file.h"

#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cerrno>

#include "log/atomic_file.h"

namespace tarnwick {
namespace {

constexpr int kGzipWindow = 15 + 16;  // deflate's largest window, with a gzip header and trailer
constexpr int kMemoryLevel = 8;
constexpr std::size_t kChunk = 256 * 1024;

// Runs deflate over what stream holds in, writing all it gives out.
int Drain(z_stream& stream, int flush, int out) {
    std::array<unsigned char, kChunk> buffer{};
    int status = Z_OK;
    do {
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
        status = deflate(&stream, flush);
        if (status == Z_STREAM_ERROR) {
            return EIO;
        }
        const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()),
                                     buffer.size() - stream.avail_out);
        if (const int error = WriteAll(out, bytes); error != 0) {
            return error;
        }
    } while (stream.avail_out == 0);
    return 0;
}

int Deflate(int source, int out, const std::stop_token& stop) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return ENOMEM;
    }
    std::array<unsigned char, kChunk> input{};
    int error = 0;
    for (;;) {
        if (stop.stop_requested()) {
            error = ECANCELED;
            break;
        }
        const ssize_t got = read(source, input.data(), input.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            break;
        }
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(got);
        error = Drain(stream, got == 0 ? Z_FINISH : Z_NO_FLUSH, out);
        if (error != 0 || got == 0) {
            break;
        }
    }
    deflateEnd(&stream);
    return error;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int CompressInto(int source, const std::string& path, const std::stop_token& stop) {
    const int error = ReplaceFileThrough(path, path + kPartEnd, [&](int out) {
        return lseek(source, 0, SEEK_SET) == 0 ? Deflate(source, out, stop) : errno;
    });
    return error != 0 ? error : SyncFolder(FolderOf(path));
}

}  // namespace tarnwick
