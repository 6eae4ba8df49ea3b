#include "web/event_hub.h"

#include <charconv>
#include <cstring>

namespace tarnwick {
namespace {

constexpr std::string_view kKeepAlive = ": keep-alive\n\n";

std::string LostText(std::uint64_t count) {
    return "event: lost\ndata: {\"count\":" + std::to_string(count) + "}\n\n";
}

}  // namespace

EventHub::EventHub(std::uint64_t firstId) : m_firstId(firstId), m_nextId(firstId) {}

std::uint64_t EventHub::Oldest() const {
    return m_events.empty() ? m_nextId : m_events.front().id;
}

EventHub::Cursor EventHub::Open(std::optional<std::string_view> lastEventId) const {
    std::lock_guard lock(m_mutex);
    Cursor cursor{m_nextId, m_beat};
    if (!lastEventId) {
        return cursor;
    }
    std::uint64_t last = 0;
    const auto [end, error] =
        std::from_chars(lastEventId->data(), lastEventId->data() + lastEventId->size(), last);
    if (error != std::errc() || end != lastEventId->data() + lastEventId->size()) {
        return cursor;
    }
    if (last < m_firstId) {
        cursor.next = Oldest();  // an earlier run's: all this one still has
    } else if (last < m_nextId) {
        cursor.next = last + 1;
    }
    return cursor;
}

std::uint64_t EventHub::Publish(std::string_view name, std::string_view data) {
    std::lock_guard lock(m_mutex);
    if (m_closed) {
        return 0;
    }
    const std::uint64_t id = m_nextId++;
    std::string text = "id: " + std::to_string(id) + "\nevent: ";
    text.append(name).append("\ndata: ").append(data).append("\n\n");
    m_bytes += text.size();
    m_events.push_back({id, std::move(text)});
    while (m_events.size() > kMostEvents || m_bytes > kMostBytes) {
        m_bytes -= m_events.front().text.size();
        m_events.pop_front();
    }
    ResumeAll();
    return id;
}

EventHub::ReadResult EventHub::ReadOrWait(Cursor& cursor, char* out, std::size_t max,
                                          const void* reader, const std::function<void()>& wait,
                                          std::function<void()> resume) {
    std::lock_guard lock(m_mutex);
    if (m_closed) {
        return {Read::Closed, 0};
    }
    std::size_t bytes = 0;
    const auto put = [&](std::string_view text) {
        if (bytes + text.size() > max) {
            return false;
        }
        std::memcpy(out + bytes, text.data(), text.size());
        bytes += text.size();
        return true;
    };
    if (cursor.next < Oldest() && put(LostText(Oldest() - cursor.next))) {
        cursor.next = Oldest();
    }
    for (auto event = m_events.begin() + static_cast<std::ptrdiff_t>(cursor.next - Oldest());
         cursor.next >= Oldest() && event != m_events.end() && put(event->text); ++event) {
        cursor.next = event->id + 1;
    }
    if (bytes == 0 && cursor.next < m_nextId) {
        // An event larger than the reader's buffer could never be read: it is passed over,
        // and told as lost.
        ++cursor.next;
        const std::string lost = LostText(1);
        put(lost);
    }
    if (bytes == 0 && cursor.beat != m_beat && put(kKeepAlive)) {
        cursor.beat = m_beat;
    }
    if (bytes > 0) {
        return {Read::Some, bytes};
    }
    wait();
    m_waiting[reader] = std::move(resume);
    return {Read::Nothing, 0};
}

void EventHub::Forget(const void* reader) {
    std::lock_guard lock(m_mutex);
    m_waiting.erase(reader);
}

void EventHub::Beat() {
    std::lock_guard lock(m_mutex);
    ++m_beat;
    ResumeAll();
}

void EventHub::Close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    ResumeAll();
}

void EventHub::ResumeAll() {
    for (auto& [reader, resume] : m_waiting) {
        resume();
    }
    m_waiting.clear();
}

}  // namespace tarnwick
