#pragma once

// Running the velmora program itself from the tests: a work folder, the
// console and result file read back and checked.

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace run_support {

namespace fs = std::filesystem;

using testing_support::kUsageText;
using testing_support::exitCodeOf;
using testing_support::readWholeFile;


// The program under test: the build's own, or another build of it named by
// VELMORA_PROGRAM (CI runs the threaded tests on a ThreadSanitizer build).
inline const std::string kExecutable = std::getenv("VELMORA_PROGRAM") != nullptr ? std::getenv("VELMORA_PROGRAM")
                                                                                  : VELMORA_EXECUTABLE;
inline const std::string kExampleInput = std::string(VELMORA_EXAMPLES_DIR) + "/genotypes.txt";
// Three genotypes that three haplotypes explain.
inline const char* const kSmallInput = "3 4\n0212\n2010\n0111\n";

inline std::string shellQuote(const std::string& s)
{
    std::string quoted = "'";
    for (const char c : s) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

inline std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

inline std::string genotypeFileText(const std::vector<std::string>& genotypes)
{
    std::string text = std::to_string(genotypes.size()) + " " + std::to_string(genotypes.front().size()) + "\n";
    for (const std::string& g : genotypes) text += g + "\n";
    return text;
}

inline std::vector<std::string> readGenotypes(const std::string& path)
{
    std::string text = readWholeFile(path);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::istringstream in(text);
    int count = 0;
    int length = 0;
    in >> count >> length;
    std::vector<std::string> genotypes(static_cast<std::size_t>(std::max(count, 0)));
    for (std::string& g : genotypes) in >> g;
    return genotypes;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What a completed run printed: one list of numbers per iteration line.
struct Console {
    std::string startLine;
    std::vector<std::vector<int>> iterations;
    std::string interruption;   // the line that reports an interrupt, if any
    std::vector<std::string> setupLines;  // between the start line and the first iteration line
    std::vector<std::string> phaseLines;  // what the phases after the search print, before the closing lines
    std::string withoutTiming;  // everything but the elapsed-time line
};

// Reads and checks the console text of a completed run.
inline Console parseConsole(const std::string& out, const std::string& outputName)
{
    Console console;
    const std::vector<std::string> lines = splitLines(out);
    EXPECT_GE(lines.size(), 3u) << out;
    if (lines.size() < 3) return console;
    console.startLine = lines[0];
    EXPECT_EQ(out.substr(out.size() - 1), "\n");
    const std::regex iterationLine(R"(Iter # (\d+) \.\.\. ((\d+\. )*))");
    std::size_t i = 1;
    // What the run says of its set-up between the start line and the first
    // iteration (the threads it uses).
    for (; i < lines.size() && lines[i].rfind("Using ", 0) == 0; ++i) console.setupLines.push_back(lines[i]);
    for (; i < lines.size() && lines[i].rfind("Iter # ", 0) == 0; ++i) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(lines[i], m, iterationLine)) << "line: " << lines[i];
        if (!m.empty()) {
            EXPECT_EQ(std::stoi(m[1]), static_cast<int>(console.iterations.size()) + 1);
        }
        std::vector<int> numbers;
        std::istringstream tokens(lines[i].substr(std::string("Iter # ").size()));
        std::string token;
        tokens >> token >> token;  // the iteration number and "..."
        while (tokens >> token) numbers.push_back(std::stoi(token));
        console.iterations.push_back(numbers);
    }
    if (i < lines.size() && lines[i].rfind("Interrupted by ", 0) == 0) console.interruption = lines[i++];
    // The closing lines: elapsed time, the output file (and any other file
    // saved), an empty line.
    std::size_t closing = lines.size();
    while (closing > i && lines[closing - 1].rfind("elapTime = ", 0) != 0) --closing;
    EXPECT_GT(closing, i) << "no elapsed-time line: " << out;
    if (closing > i) {
        --closing;
        while (i < closing) console.phaseLines.push_back(lines[i++]);
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(R"(elapTime = \d+\.\d{3} sec\.)"))) << lines[i];
        EXPECT_LT(i + 2, lines.size()) << out;
        if (i + 2 < lines.size()) {
            EXPECT_EQ(lines[i + 1], "Output saved in the file " + outputName + " ");
            for (std::size_t k = i + 2; k + 1 < lines.size(); ++k)
                EXPECT_TRUE(std::regex_match(lines[k], std::regex(R"((Haplotypes|Report) saved in the file .* )")))
                    << lines[k];
            EXPECT_EQ(lines.back(), "");
            EXPECT_EQ(out.substr(out.size() - 2), "\n\n");
        }
    }
    for (const std::string& line : lines)
        if (line.rfind("elapTime = ", 0) != 0) console.withoutTiming += line + "\n";
    return console;
}

// A result file read back, checked for its layout on the way.
struct ResultFile {
    std::vector<std::string> haplotypes;                  // numbered from 1
    std::vector<std::vector<std::pair<int, int>>> pairs;  // one entry per input genotype
    std::vector<std::string> genotypeLines;
    bool symbolic = false;
};

inline std::string numberColumn(int number, const char* suffix)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%6d%s", number, suffix);
    return buffer;
}

// Checks the symbolic list against the haplotypes above it: the same
// haplotypes in the same order, determined sites copied, and every variable
// standing for one value on its p side and the other on its n side.
inline void checkSymbolicList(const std::vector<std::string>& lines, std::size_t& i, const ResultFile& result)
{
    const std::size_t k = result.haplotypes.size();
    const std::size_t length = result.haplotypes.empty() ? 0 : result.haplotypes[0].size();
    ASSERT_LT(i + 4, lines.size());
    EXPECT_EQ(lines[i++], "");
    EXPECT_EQ(lines[i++], "A multiple solution (in symbolic form) was found.");
    EXPECT_EQ(lines[i++], "Genotype reconstruction is the same as indicated above");
    EXPECT_EQ(lines[i++], "Note that pXY = 1 - nXY");
    EXPECT_EQ(lines[i++], "BEGIN SYMBOLIC_HAPLOTYPE_LIST");
    std::map<int, char> valueOnPSide;
    int width = -1;
    for (std::size_t h = 0; h < k; ++h, ++i) {
        ASSERT_LT(i, lines.size());
        const std::string& line = lines[i];
        const std::string head = numberColumn(static_cast<int>(h) + 1, ": ");
        ASSERT_EQ(line.rfind(head, 0), 0u) << line;
        const std::string fields = line.substr(head.size());
        ASSERT_EQ(fields.size() % length, 0u) << line;
        const int w = static_cast<int>(fields.size() / length);
        if (width == -1) width = w;
        EXPECT_EQ(w, width) << "every field has the same width: " << line;
        EXPECT_GE(w, 3);
        for (std::size_t s = 0; s < length; ++s) {
            const std::string field = fields.substr(s * w, w);
            std::smatch m;
            if (std::regex_match(field, m, std::regex(R"( +([01]))"))) {
                EXPECT_EQ(m[1].str()[0], result.haplotypes[h][s]) << "haplotype " << h + 1 << " site " << s;
            } else if (std::regex_match(field, m, std::regex(R"( +([pn])(\d+))"))) {
                const int v = std::stoi(m[2]);
                EXPECT_GE(v, 1);
                const char own = result.haplotypes[h][s];
                const char pSide = m[1] == "p" ? own : (own == '0' ? '1' : '0');
                const auto known = valueOnPSide.find(v);
                if (known == valueOnPSide.end()) valueOnPSide[v] = pSide;
                else EXPECT_EQ(known->second, pSide) << "variable " << v << " in haplotype " << h + 1;
            } else {
                ADD_FAILURE() << "bad symbolic field '" << field << "' in: " << line;
            }
        }
    }
    ASSERT_LT(i + 1, lines.size());
    EXPECT_EQ(lines[i++], "END SYMBOLIC_HAPLOTYPE_LIST");
    EXPECT_EQ(lines[i++], "");
}

// Parses a result file and checks its layout; then checks that every input
// genotype is explained by every pair listed for it, and by at least one.
inline ResultFile checkResultFile(const std::string& text, const std::vector<std::string>& genotypes)
{
    ResultFile result;
    const std::vector<std::string> lines = splitLines(text);
    EXPECT_FALSE(text.empty());
    if (text.empty()) return result;
    EXPECT_EQ(text.back(), '\n');
    const std::size_t length = genotypes.front().size();
    std::size_t i = 0;
    auto expectLine = [&](const std::string& expected) {
        EXPECT_LT(i, lines.size()) << "missing line: " << expected;
        if (i < lines.size()) {
            EXPECT_EQ(lines[i], expected);
        }
        ++i;
    };

    expectLine("BEGIN HAPLOTYPE_LIST");
    while (i < lines.size() && lines[i] != "END HAPLOTYPE_LIST") {
        const int number = static_cast<int>(result.haplotypes.size()) + 1;
        const std::string head = numberColumn(number, ": ");
        EXPECT_EQ(lines[i].rfind(head, 0), 0u) << lines[i];
        const std::string haplotype = lines[i].substr(std::min(head.size(), lines[i].size()));
        EXPECT_EQ(haplotype.size(), length) << lines[i];
        EXPECT_EQ(haplotype.find_first_not_of("01"), std::string::npos) << "every site is determined: " << lines[i];
        result.haplotypes.push_back(haplotype);
        ++i;
    }
    expectLine("END HAPLOTYPE_LIST");
    expectLine("");
    expectLine("Genotypes and corresponding couples of haplotypes ");
    expectLine("(numbers refer to the list of haplotypes given above) ");
    expectLine("BEGIN BEST_RECONSTRUCTION_FOUND");
    EXPECT_FALSE(result.haplotypes.empty());
    EXPECT_TRUE(std::is_sorted(result.haplotypes.begin(), result.haplotypes.end()))
        << "haplotypes are listed in ascending order";

    const int k = static_cast<int>(result.haplotypes.size());
    std::vector<bool> haplotypeUsed(static_cast<std::size_t>(k), false);
    const std::regex pairPattern(R"( \((\d+),(\d+)\))");
    for (std::size_t j = 0; j < genotypes.size(); ++j, ++i) {
        if (i >= lines.size()) {
            ADD_FAILURE() << "missing reconstruction line " << j + 1;
            return result;
        }
        const std::string& line = lines[i];
        const std::string head = numberColumn(static_cast<int>(j) + 1, ":");
        EXPECT_EQ(line.rfind(head, 0), 0u) << line;
        const std::string rest = line.substr(std::min(head.size(), line.size()));
        result.genotypeLines.push_back(rest);
        std::vector<std::pair<int, int>> linePairs;
        std::string rebuilt;
        for (auto it = std::sregex_iterator(rest.begin(), rest.end(), pairPattern); it != std::sregex_iterator(); ++it) {
            linePairs.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[2]));
            rebuilt += it->str();
        }
        EXPECT_EQ(rebuilt, rest) << "a reconstruction line holds only pairs: " << line;
        EXPECT_FALSE(linePairs.empty()) << "genotype " << j + 1 << " (" << genotypes[j] << ") has no pair";
        const std::string& g = genotypes[j];
        for (const auto& [a, b] : linePairs) {
            EXPECT_GE(a, 1);
            EXPECT_LE(a, k);
            EXPECT_GE(b, 1);
            EXPECT_LE(b, k);
            if (a < 1 || a > k || b < 1 || b > k) continue;
            haplotypeUsed[a - 1] = true;
            haplotypeUsed[b - 1] = true;
            const std::string& x = result.haplotypes[a - 1];
            const std::string& y = result.haplotypes[b - 1];
            for (std::size_t s = 0; s < length; ++s) {
                if (g[s] == '2') {
                    EXPECT_NE(x[s], y[s]) << "pair (" << a << "," << b << ") of genotype " << j + 1 << " (" << g
                                          << ") at heterozygous site " << s << ": " << x << " / " << y;
                } else {
                    EXPECT_TRUE(x[s] == g[s] && y[s] == g[s])
                        << "pair (" << a << "," << b << ") of genotype " << j + 1 << " (" << g
                        << ") at homozygous site " << s << ": " << x << " / " << y;
                }
            }
        }
        result.pairs.push_back(linePairs);
    }
    for (int h = 0; h < k; ++h) EXPECT_TRUE(haplotypeUsed[h]) << "haplotype " << h + 1 << " explains nothing";
    for (std::size_t a = 0; a < result.genotypeLines.size(); ++a) {
        for (std::size_t b = a + 1; b < result.genotypeLines.size(); ++b) {
            if (genotypes[a] == genotypes[b]) {
                EXPECT_EQ(result.genotypeLines[a], result.genotypeLines[b])
                    << "equal genotypes " << a + 1 << " and " << b + 1 << " have equal lines";
            }
        }
    }

    expectLine("END BEST_RECONSTRUCTION_FOUND");
    if (i < lines.size()) {
        result.symbolic = true;
        checkSymbolicList(lines, i, result);
        EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    }
    EXPECT_EQ(i, lines.size()) << "nothing follows the last block";
    return result;
}

// The program runs in a work folder inside the root folder; what it prints
// is caught in files of the root folder, so the work folder holds only what
// the test and the program put there.
class EndToEnd : public testing::Test {
protected:
    void SetUp() override { fs::create_directory(work_); }

    // Runs the program in the work folder with the given arguments.
    RunResult run(const std::vector<std::string>& arguments)
    {
        std::string command = "cd " + shellQuote(work_) + " && " + shellQuote(kExecutable);
        for (const std::string& a : arguments) command += " " + shellQuote(a);
        command += " >" + shellQuote(root_.path("stdout")) + " 2>" + shellQuote(root_.path("stderr"));
        const int status = std::system(command.c_str());
        RunResult result;
        if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        result.out = readWholeFile(root_.path("stdout"));
        result.err = readWholeFile(root_.path("stderr"));
        return result;
    }

    // Writes a file into the work folder and returns its name there.
    std::string writeInput(const std::string& name, const std::string& content)
    {
        root_.write("work/" + name, content);
        return name;
    }

    std::string inWork(const std::string& name) const { return work_ + "/" + name; }

    std::vector<std::string> workEntries() const { return testing_support::folderEntries(work_); }

    // A run that printed the usage text and nothing else, and ended with `exitCode`.
    static void expectUsage(const RunResult& r, int exitCode)
    {
        EXPECT_EQ(r.exitCode, exitCode);
        EXPECT_EQ(r.out, kUsageText);
        EXPECT_EQ(r.err, "");
    }

    // A completed run: exit code 0, nothing on the error stream, a result file
    // that passes the checker, and console lines consistent with it.
    struct Completed {
        Console console;
        ResultFile result;
        std::string resultText;
    };
    Completed runCompleted(const std::string& input, const std::vector<std::string>& options)
    {
        std::vector<std::string> arguments{input, "result.txt"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const RunResult r = run(arguments);
        Completed c;
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.err, "");
        c.console = parseConsole(r.out, "result.txt");
        c.resultText = readWholeFile(inWork("result.txt"));
        const std::string inputPath = input.front() == '/' ? input : inWork(input);
        c.result = checkResultFile(c.resultText, readGenotypes(inputPath));
        return c;
    }

    // The smallest count printed, checked against the result file, and the
    // counts on each line strictly decreasing.
    void expectConsoleMatchesResult(const Completed& c)
    {
        int smallest = INT32_MAX;
        for (const std::vector<int>& numbers : c.console.iterations) {
            EXPECT_FALSE(numbers.empty()) << "every iteration line shows its first attempt";
            for (std::size_t n = 0; n < numbers.size(); ++n) {
                smallest = std::min(smallest, numbers[n]);
                if (n > 0) {
                    EXPECT_LT(numbers[n], numbers[n - 1]) << "a later number improves on the one before";
                }
            }
        }
        EXPECT_EQ(static_cast<int>(c.result.haplotypes.size()), smallest);
    }

    testing_support::TemporaryFolder root_{"velmora_run"};
    const std::string work_ = root_.path("work");
};

inline std::string generatedInput(unsigned seed, int count, int length, int poolSize)
{
    std::mt19937 rng(seed);
    return genotypeFileText(testing_support::randomGenotypes(rng, count, length, poolSize));
}


// Makes the signals pending in the calling process, blocked so that they
// wait: a program started from it then meets them as soon as it lets them
// through.
inline void raiseWhileBlocked(const std::vector<int>& signals)
{
    sigset_t set;
    sigemptyset(&set);
    for (const int s : signals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    for (const int s : signals) raise(s);
}

// ---------------------------------------------------------------------------
// The velmora program as a child process with its console on a pipe.

class RunningProgram {
public:
    // Starts `program` in `folder`, with `pendingSignals` raised (blocked)
    // before it starts and at most `addressSpace` bytes of address space.
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder,
                   const std::vector<int>& pendingSignals = {}, rlim_t addressSpace = RLIM_INFINITY)
    {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        std::vector<std::string> words{program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        std::fflush(stdout);
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            dup2(fds[1], STDOUT_FILENO);
            dup2(fds[1], STDERR_FILENO);
            close(fds[1]);
            if (chdir(folder.c_str()) != 0) _exit(126);
            if (addressSpace != RLIM_INFINITY) {
                const struct rlimit limit {addressSpace, addressSpace};
                setrlimit(RLIMIT_AS, &limit);
            }
            raiseWhileBlocked(pendingSignals);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }

    ~RunningProgram()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // Reads the console until `done` holds for what was read, or the
    // program ends, or `seconds` pass. Returns whether `done` held.
    bool readUntil(const std::function<bool(const std::string&)>& done, int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done(console_)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            struct pollfd p {out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[4096];
            const ssize_t got = read(out_, buffer, sizeof buffer);
            if (got <= 0) return done(console_);
            console_.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }

    void signal(int s) { kill(pid_, s); }

    // Reads the console to its end and returns the exit code; -1 when the
    // program has not ended within `seconds`.
    int finish(int seconds)
    {
        readUntil([](const std::string&) { return false; }, seconds);
        for (int waited = 0; waited < 100; ++waited) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return exitCodeOf(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    const std::string& console() const { return console_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string console_;
};

} // namespace run_support
