// --help and the built manual page against the option table: each shows every option with its
// value and its default, and names no option the table lacks.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <string_view>

#include "app/option_table.h"
#include "app/usage_text.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

// What a reference shows of one option.
struct Shown {
    std::string value;         // the value's name; empty for a flag
    std::string shownDefault;  // empty where none is shown
    bool operator==(const Shown&) const = default;
};
using Reference = std::map<std::string, Shown>;  // by the option's name

std::ostream& operator<<(std::ostream& out, const Shown& shown) {
    return out << "{" << shown.value << ", default " << shown.shownDefault << "}";
}

Reference FromTable() {
    Reference reference;
    for (const OptionRow& row : OptionTable()) {
        reference[std::string(row.name)] = {
            std::string(row.value), row.shownDefault != nullptr ? row.shownDefault(Options{}) : ""};
    }
    return reference;
}

std::string Joined(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(\s+)"), " ");
}

// An entry begins "  --name VALUE" and runs on over the lines indented below it.
Reference FromHelp(const std::string& help) {
    static const std::regex kEntry(R"((?:^|\n)  (--[a-z0-9-]+)( [^ \n]+)?((?:.|\n {4,})*))");
    static const std::regex kDefault(R"(\(default ([^)]+)\))");
    Reference reference;
    for (std::sregex_iterator it(help.begin(), help.end(), kEntry), end; it != end; ++it) {
        const std::string text = Joined((*it)[3]);
        std::smatch shown;
        reference[(*it)[1]] = {(*it)[2].length() > 0 ? (*it)[2].str().substr(1) : "",
                               std::regex_search(text, shown, kDefault) ? shown[1].str() : ""};
    }
    return reference;
}

std::string Unescaped(const std::string& roff) {
    return std::regex_replace(roff, std::regex(R"(\\-)"), "-");
}

std::string Section(const std::string& page, const std::string& name) {
    const std::size_t start = page.find(".SH " + name + "\n");
    if (start == std::string::npos) {
        return "";
    }
    const std::size_t end = page.find("\n.SH ", start + 1);
    return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// An entry is ".TP", then ".B --name" or ".BI --name " VALUE"", then its paragraph.
Reference FromManual(const std::string& page) {
    static const std::regex kEntry(
        R"re(\.TP\n\.BI? (--[a-z0-9-]+)(?: " ([^"]+)")?\n((?:[^.\n][^\n]*\n)*))re");
    static const std::regex kDefault(R"(The default is \\fB(.+?)\\fR\.)");
    const std::string options = Unescaped(Section(page, "OPTIONS"));
    Reference reference;
    for (std::sregex_iterator it(options.begin(), options.end(), kEntry), end; it != end; ++it) {
        const std::string text = (*it)[3];
        std::smatch shown;
        reference[(*it)[1]] = {(*it)[2],
                               std::regex_search(text, shown, kDefault) ? shown[1].str() : ""};
    }
    return reference;
}

// Every "--name" the text names.
std::set<std::string> Named(const std::string& text) {
    static const std::regex kOption(R"(--[a-z0-9]+(?:-[a-z0-9]+)*)");
    std::set<std::string> names;
    for (std::sregex_iterator it(text.begin(), text.end(), kOption), end; it != end; ++it) {
        names.insert(it->str());
    }
    return names;
}

// The page without what it says of other programs, whose options are their own: tarnwick-device
// and systemctl.
std::string CentreParts(const std::string& page) {
    std::string centre = page;
    const std::string peer = Section(page, "THE DEVICE PEER");
    centre.erase(centre.find(peer), peer.size());
    return std::regex_replace(centre,
                              std::regex(R"(\n[^\n]*(tarnwick\\-device |systemctl )[^\n]*)"), "");
}

TEST(OptionReferenceTest, HelpAndTheManualPageShowEveryOptionAsTheTableHasIt) {
    const Reference table = FromTable();
    const std::string help = UsageText();
    const std::string page = test::ReadFile(TARNWICK_MAN_PAGE);
    ASSERT_FALSE(page.empty()) << TARNWICK_MAN_PAGE;
    EXPECT_EQ(FromHelp(help), table);
    EXPECT_EQ(FromManual(page), table);
    const std::string synopsis = Unescaped(Section(page, "SYNOPSIS"));
    for (const auto& [name, shown] : table) {
        EXPECT_TRUE(Named(synopsis).contains(name)) << name << " in the SYNOPSIS";
    }
    for (const std::string& name : Named(help)) {
        EXPECT_TRUE(table.contains(name)) << name << " in --help";
    }
    for (const std::string& name : Named(Unescaped(CentreParts(page)))) {
        EXPECT_TRUE(table.contains(name)) << name << " in the manual page";
    }
}

TEST(OptionReferenceTest, ADefaultShownIsTheOneTheParserStartsFrom) {
    for (const OptionRow& row : OptionTable()) {
        if (row.shownDefault != nullptr) {
            const std::string shown = row.shownDefault(Options{});
            const std::string_view args[] = {row.name, shown};
            EXPECT_EQ(ParseOptions(args), ParsedOptions{}) << row.name << " " << shown;
        }
    }
}

}  // namespace
}  // namespace tarnwick
