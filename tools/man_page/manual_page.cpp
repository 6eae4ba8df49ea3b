#include "manual_page.h"

#include <cctype>

#include "app/option_markup.h"
#include "app/option_table.h"

namespace tarnwick {
namespace {

// ".OP --name VALUE": one optional option of a usage line.
std::string Optional(const OptionRow& row) {
    return ".OP " + RoffText(row.name) + (row.value.empty() ? "" : " " + RoffText(row.value)) +
           "\n";
}

// ".B --name" and ".I VALUE": an option a usage line needs.
std::string Needed(const OptionRow& row) {
    return ".B " + RoffText(row.name) + "\n" +
           (row.value.empty() ? "" : ".I " + RoffText(row.value) + "\n");
}

std::string Synopsis() {
    std::string window = ".SY tarnwick\n";
    std::string headless = ".SY tarnwick\n";
    std::string headlessOptional;
    std::string alone = ".SY tarnwick\n";
    std::string find = ".SY tarnwick\n";
    for (const OptionRow& row : OptionTable()) {
        switch (row.place) {
            case OptionPlace::Both:
                window += Optional(row);
                headlessOptional += Optional(row);
                break;
            case OptionPlace::Window:
                window += Optional(row);
                break;
            case OptionPlace::Headless:
                headlessOptional += Optional(row);
                break;
            case OptionPlace::HeadlessNeeds:
                window += Optional(row);
                headless += Needed(row);
                break;
            case OptionPlace::HeadlessMark:
                headless += Needed(row);
                break;
            case OptionPlace::FindMark:
                find += Needed(row);
                break;
            case OptionPlace::Find:
                find += Optional(row);
                break;
            case OptionPlace::Instead:
                alone += (alone.ends_with("tarnwick\n") ? "" : "|\n") + Needed(row);
                break;
        }
    }
    return window + ".YS\n" + headless + headlessOptional + ".YS\n" + find + ".OP " +
           RoffText("--log-dir") + " " + RoffText("DIR") + "\n.YS\n" + alone + ".YS\n";
}

// " The window only.", " Headless only.", or nothing for an option of both.
std::string OnlySentence(OptionPlace place) {
    std::string only(FrontEndOnly(place));
    if (only.empty()) {
        return "";
    }
    only.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(only.front())));
    return " " + only + " only.";
}

// Each sentence on a line of its own, as roff wants them to space them as sentences.
std::string OneSentenceALine(std::string text) {
    for (std::size_t at = text.find(". "); at != std::string::npos; at = text.find(". ", at)) {
        const bool next =
            at + 2 < text.size() && std::isupper(static_cast<unsigned char>(text[at + 2]));
        if (next) {
            text.replace(at + 1, 1, "\n");
        }
        at += 2;
    }
    return text;
}

// ".TP", the option and its value, then its paragraph with its default.
std::string Entry(const OptionRow& row, const Options& defaults) {
    std::string entry = ".TP\n";
    entry += row.value.empty()
                 ? ".B " + RoffText(row.name) + "\n"
                 : ".BI " + RoffText(row.name) + " \" " + RoffText(row.value) + "\"\n";
    std::string paragraph = RoffText(row.manual);
    if (row.shownDefault != nullptr) {
        paragraph += " The default is \\fB" + RoffText(row.shownDefault(defaults)) + "\\fR.";
    }
    return entry + OneSentenceALine(paragraph + OnlySentence(row.place)) + "\n";
}

std::string OptionEntries() {
    const Options defaults;
    std::string entries;
    for (const OptionRow& row : OptionTable()) {
        entries += Entry(row, defaults);
    }
    return entries;
}

// Replaces the line that is exactly `line` with `text` (whole lines); false when there is none.
bool FillLine(std::string& page, std::string_view line, std::string_view text) {
    const std::string marked = "\n" + std::string(line) + "\n";
    const std::size_t at = page.find(marked);
    if (at == std::string::npos) {
        return false;
    }
    page.replace(at + 1, marked.size() - 1, text);
    return true;
}

}  // namespace

std::optional<std::string> ManualPage(std::string_view pageTemplate, std::string_view version) {
    std::string page(pageTemplate);
    constexpr std::string_view kVersionMark = "@PROJECT_VERSION@";
    const std::size_t at = page.find(kVersionMark);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    page.replace(at, kVersionMark.size(), version);
    if (!FillLine(page, "@TARNWICK_SYNOPSIS@", Synopsis()) ||
        !FillLine(page, "@TARNWICK_OPTIONS@", OptionEntries())) {
        return std::nullopt;
    }
    return page;
}

}  // namespace tarnwick
