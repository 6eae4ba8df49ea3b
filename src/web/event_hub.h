#pragma once

// The operator page's live feed: every event once, in a bounded ring that all its readers
// share. A reader is a position in the ring and nothing more, so a reader that never reads costs
// the centre no memory: the ring moves on without it, and when it reads again it is told how
// many events it lost. A reader that comes back with the last id it saw gets what followed, as
// far back as the ring reaches.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnwick {

class EventHub {
public:
    static constexpr std::size_t kMostEvents = 10'000;
    static constexpr std::size_t kMostBytes = 8 * 1024 * 1024;

    // Ids rise from firstId: a reader of an earlier run of the centre, whose ids were smaller,
    // is seen to be one.
    explicit EventHub(std::uint64_t firstId);

    struct Cursor {
        std::uint64_t next = 0;  // the id of the next event this reader takes
        std::uint64_t beat = 0;
    };
    // From the newest on; or, given the Last-Event-ID header, after that event.
    [[nodiscard]] Cursor Open(std::optional<std::string_view> lastEventId) const;

    // The front end's thread: one event ("record", "device", ...) with its data on one line.
    // Returns its id.
    std::uint64_t Publish(std::string_view name, std::string_view data);

    enum class Read { Some, Nothing, Closed };
    struct ReadResult {
        Read read = Read::Nothing;
        std::size_t bytes = 0;
    };
    // The events after cursor, whole, as many as fit in max bytes, a "lost" event before them
    // when the ring has moved past the cursor; a keep-alive comment when there are none and a
    // beat has come. Nothing: wait is run, under the hub's lock, with the reader's resume,
    // which the next event or beat runs once.
    ReadResult ReadOrWait(Cursor& cursor, char* out, std::size_t max, const void* reader,
                          const std::function<void()>& wait, std::function<void()> resume);
    // The reader is gone: its resume is dropped.
    void Forget(const void* reader);

    // Every waiting reader writes a keep-alive comment, so a dead connection is found.
    void Beat();
    // Every reader ends; no event is taken any more.
    void Close();

private:
    struct Event {
        std::uint64_t id;
        std::string text;  // "id: ...\nevent: ...\ndata: ...\n\n"
    };
    // Under m_mutex.
    void ResumeAll();
    [[nodiscard]] std::uint64_t Oldest() const;

    mutable std::mutex m_mutex;
    std::uint64_t m_firstId;
    std::uint64_t m_nextId;
    std::uint64_t m_beat = 0;
    bool m_closed = false;
    std::deque<Event> m_events;
    std::size_t m_bytes = 0;
    std::unordered_map<const void*, std::function<void()>> m_waiting;
};

}  // namespace tarnwick
