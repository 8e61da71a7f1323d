// The help, the version, the man page and the install: every option the
// parser takes is in the help and in the man page, and nothing else is.

#include "run/run_settings.hpp"
#include "run/run_support.hpp"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace run_support;

namespace {

// A value each kind of option takes.
std::string sampleValue(const OptionSpec& option)
{
    const std::string kind = option.valueName;
    if (kind == "N" || kind == "S" || kind == "SITES") return "3";
    if (kind == "K") return "512";
    if (kind == "POLICY") return "drop-sites";
    if (kind == "CHR[:FROM-TO]") return "1:1-10";
    return "file.txt";
}

std::set<std::string> tableNames()
{
    std::set<std::string> names;
    for (const OptionSpec& option : optionTable()) names.insert(option.name);
    return names;
}

// The option names a text lists, one per line that starts with `prefix`
// followed by a dash: the first word after the prefix.
std::set<std::string> listedOptions(const std::string& text, const std::string& prefix)
{
    std::set<std::string> names;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(prefix + "-", 0) != 0) continue;
        std::istringstream words(line.substr(prefix.size()));
        std::string name;
        words >> name;
        names.insert(name);
    }
    return names;
}

std::string commandOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
    return output;
}

// The option names of the man page: the first word of each tagged
// paragraph under OPTIONS, with roff's "\-" read as '-'.
std::set<std::string> manPageOptions(const std::string& page)
{
    std::set<std::string> names;
    std::istringstream lines(page);
    std::string line;
    bool inOptions = false;
    bool tagNext = false;
    while (std::getline(lines, line)) {
        if (line.rfind(".SH", 0) == 0) inOptions = line == ".SH OPTIONS";
        if (!inOptions) continue;
        if (line == ".TP") {
            tagNext = true;
            continue;
        }
        if (!tagNext) continue;
        tagNext = false;
        std::istringstream words(line);
        std::string macro, name;
        words >> macro >> name;
        std::string plain;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] == '-') continue;
            if (name[i] != '"') plain += name[i];
        }
        names.insert(plain);
    }
    return names;
}

} // namespace

TEST(Help, ListsExactlyTheOptionsTheParserTakes)
{
    EXPECT_EQ(listedOptions(helpText(), "  "), tableNames());
    // Every option of the table is taken by the parser, with its value when
    // it has one; the program options only as the first argument.
    for (const OptionSpec& option : optionTable()) {
        SCOPED_TRACE(option.name);
        std::vector<const char*> argv{"velmora"};
        std::string value;
        if (option.apply == nullptr) {
            argv.push_back(option.name);
            RunSettings s;
            const ParseStatus status = parseOptions(static_cast<int>(argv.size()), argv.data(), s);
            EXPECT_TRUE(status == ParseStatus::HelpRequested || status == ParseStatus::VersionRequested);
            continue;
        }
        argv.insert(argv.end(), {"in.txt", "out.txt", option.name});
        if (option.valueName != nullptr) {
            value = sampleValue(option);
            argv.push_back(value.c_str());
        }
        RunSettings s;
        std::string problem;
        EXPECT_EQ(parseOptions(static_cast<int>(argv.size()), argv.data(), s, &problem), ParseStatus::Filled)
            << problem;
        EXPECT_NE(option.help[0], '\0');
    }
    // Anything else is refused.
    for (const char* unknown : {"--threads2", "-x", "--Prove", "--prove=3"}) {
        const char* argv[] = {"velmora", "in.txt", "out.txt", unknown, "1"};
        RunSettings s;
        EXPECT_EQ(parseOptions(5, argv, s), ParseStatus::BadOption) << unknown;
    }
}

TEST(Help, TheManPageListsTheSameOptionsAndFormatsWithoutWarnings)
{
    const std::string page = testing_support::readWholeFile(VELMORA_MAN_PAGE);
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(manPageOptions(page), tableNames());
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "INPUT", "OUTPUT", "EXIT STATUS",
                                "EXAMPLES", "SEE ALSO"}) {
        EXPECT_NE(page.find(std::string("\n.SH ") + section + "\n"), std::string::npos) << section;
    }
    EXPECT_NE(page.find(std::string("\"velmora ") + VELMORA_VERSION + "\""), std::string::npos)
        << "the man page names the version of the build";
    EXPECT_EQ(commandOutput("groff -man -ww -z " + shellQuote(VELMORA_MAN_PAGE) + " 2>&1"), "");
}

TEST_F(EndToEnd, InstallPutsTheProgramAndItsManPageUnderThePrefix)
{
    const std::string prefix = root_.path("prefix");
    const std::string log = commandOutput("cmake --install " + shellQuote(VELMORA_BUILD_DIR) + " --prefix "
                                          + shellQuote(prefix) + " 2>&1");
    const std::string program = prefix + "/bin/velmora";
    EXPECT_EQ(commandOutput(shellQuote(program) + " --version"), std::string("velmora ") + VELMORA_VERSION + "\n")
        << log;
    EXPECT_EQ(testing_support::readWholeFile(prefix + "/share/man/man1/velmora.1"),
              testing_support::readWholeFile(VELMORA_MAN_PAGE));
}
