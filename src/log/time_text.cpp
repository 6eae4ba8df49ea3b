#include "log/time_text.h"

namespace tarnwick {

namespace {

// Like "%0*d": zero-padded to width, longer when the value needs it, sign counted in the width.
// Digit arithmetic instead of snprintf because these texts are made for every record.
void AppendNumber(std::string& out, long long value, int width) {
    char digits[20];
    int count = 0;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        out.push_back('-');
        --width;
    }
    for (int pad = width - count; pad > 0; --pad) {
        out.push_back('0');
    }
    while (count > 0) {
        out.push_back(digits[--count]);
    }
}

void AppendTwoDigits(std::string& out, int value) {
    AppendNumber(out, value, 2);
}
void AppendYear(std::string& out, const std::tm& t) {
    AppendNumber(out, t.tm_year + 1900LL, 4);
}

// "HH:MM:SS"
void AppendTimeOfDay(std::string& out, const std::tm& t) {
    AppendTwoDigits(out, t.tm_hour);
    out.push_back(':');
    AppendTwoDigits(out, t.tm_min);
    out.push_back(':');
    AppendTwoDigits(out, t.tm_sec);
}

}  // namespace

LocalTime LocalTimeOf(std::time_t t) {
    std::tm broken{};
    if (localtime_r(&t, &broken) == nullptr) {
        return std::nullopt;
    }
    return broken;
}

LocalTime SystemLocalTime() {
    struct Cache {
        std::optional<std::time_t> second;
        LocalTime value;
    };
    thread_local Cache cache;
    const std::time_t now = std::time(nullptr);
    if (cache.second != now) {
        cache = {now, LocalTimeOf(now)};
    }
    return cache.value;
}

void AppendDateTimeText(std::string& out, const std::tm& t) {
    AppendYear(out, t);
    out.push_back('-');
    AppendTwoDigits(out, t.tm_mon + 1);
    out.push_back('-');
    AppendTwoDigits(out, t.tm_mday);
    out.push_back(' ');
    AppendTimeOfDay(out, t);
}

std::string MonthDayText(const LocalTime& t) {
    if (!t) {
        return "0000";
    }
    std::string text;
    AppendTwoDigits(text, t->tm_mon + 1);
    AppendTwoDigits(text, t->tm_mday);
    return text;
}

std::string TimeColumnText(const LocalTime& t) {
    std::string text;
    if (t) {
        text = "  ";
        AppendTimeOfDay(text, *t);
    }
    return text;
}

std::string ClockText(const LocalTime& t) {
    std::string text;
    if (t) {
        AppendTwoDigits(text, t->tm_mon + 1);
        text.push_back('/');
        AppendTwoDigits(text, t->tm_mday);
        text.push_back('/');
        AppendYear(text, *t);
        text.push_back(' ');
        AppendTimeOfDay(text, *t);
    }
    return text;
}

}  // namespace tarnwick
