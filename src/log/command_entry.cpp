#include "log/command_entry.h"

#include <charconv>
#include <vector>

#include "log/time_text.h"
#include "record/control_escapes.h"

namespace tarnwick {
namespace {

constexpr std::size_t kFields = 7;

std::vector<std::string_view> FieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t')) {
        fields.push_back(line.substr(0, tab));
        line.remove_prefix(tab + 1);
    }
    fields.push_back(line);
    return fields;
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "name=VALUE" at the start of text, up to the next blank; text moves past it.
std::optional<std::string_view> Named(std::string_view& text, std::string_view name) {
    if (!text.starts_with(name) || !text.substr(name.size()).starts_with('=')) {
        return std::nullopt;
    }
    text.remove_prefix(name.size() + 1);
    const std::size_t blank = text.find(' ');
    const std::string_view value = text.substr(0, blank);
    text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
    return value;
}

std::optional<HoldClock> HoldClockOf(std::string_view text) {
    HoldClock clock;
    const auto boot = Named(text, "boot");
    const auto up = Named(text, "up");
    const auto left = Named(text, "left");
    if (!boot || !up || !left || !text.empty() || !ReadNumber(*up, clock.upSeconds) ||
        !ReadNumber(*left, clock.leftSeconds)) {
        return std::nullopt;
    }
    clock.boot = std::string(*boot);
    return clock;
}

// "@EPOCH" and the hold clock after a blank, if any.
bool ReadTimes(std::string_view field, CommandEntry& entry) {
    if (!field.starts_with('@')) {
        return false;
    }
    field.remove_prefix(1);
    const std::size_t blank = field.find(' ');
    if (!ReadNumber(field.substr(0, blank), entry.at)) {
        return false;
    }
    if (blank == std::string_view::npos) {
        return true;
    }
    entry.clock = HoldClockOf(field.substr(blank + 1));
    return entry.clock.has_value();
}

}  // namespace

bool Settles(std::string_view state) {
    return state != command_state::kHeld && state != command_state::kRestored &&
           state != command_state::kSending;
}

std::string CommandLine(const CommandEntry& entry) {
    std::string line;
    if (const LocalTime t = LocalTimeOf(entry.at)) {
        AppendDateTimeText(line, *t);
    }
    line += '\t' + std::to_string(entry.id) + '\t' + EscapeReversibly(entry.key) + '\t' +
            EscapeReversibly(entry.state) + '\t' + EscapeReversibly(entry.source) + '\t' +
            EscapeReversibly(entry.text) + "\t@" + std::to_string(entry.at);
    if (entry.clock) {
        line += " boot=" + entry.clock->boot + " up=" + std::to_string(entry.clock->upSeconds) +
                " left=" + std::to_string(entry.clock->leftSeconds);
    }
    line += '\n';
    return line;
}

std::optional<CommandEntry> CommandEntryOf(std::string_view line) {
    const std::vector<std::string_view> fields = FieldsOf(line);
    CommandEntry entry;
    if (fields.size() != kFields || !ReadNumber(fields[1], entry.id) ||
        !ReadTimes(fields[6], entry)) {
        return std::nullopt;
    }
    auto key = UnescapeControlBytes(fields[2]);
    auto state = UnescapeControlBytes(fields[3]);
    auto source = UnescapeControlBytes(fields[4]);
    auto text = UnescapeControlBytes(fields[5]);
    if (!key || !state || !source || !text) {
        return std::nullopt;
    }
    entry.key = std::move(*key);
    entry.state = std::move(*state);
    entry.source = std::move(*source);
    entry.text = std::move(*text);
    return entry;
}

}  // namespace tarnwick
