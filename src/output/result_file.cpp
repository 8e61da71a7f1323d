#include "output/result_file.hpp"

#include "data/search_state.hpp"
#include "run/interruption.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void appendFormatted(std::string& out, const char* format, int value)
{
    char buffer[32];
    const int written = std::snprintf(buffer, sizeof buffer, format, value);
    out.append(buffer, static_cast<std::size_t>(written));
}

void appendPair(std::string& out, int first, int second)
{
    char buffer[40];
    const int written = std::snprintf(buffer, sizeof buffer, " (%d,%d)", first, second);
    out.append(buffer, static_cast<std::size_t>(written));
}

void writeResultOpening(std::string& out, int count, const std::function<std::string_view(int)>& haplotype)
{
    out += "BEGIN HAPLOTYPE_LIST\n";
    for (int i = 0; i < count; ++i) {
        appendFormatted(out, "%6d: ", i + 1);
        out += haplotype(i);
        out += '\n';
    }
    out += "END HAPLOTYPE_LIST\n";
    out += "\n";
    out += "Genotypes and corresponding couples of haplotypes \n";
    out += "(numbers refer to the list of haplotypes given above) \n";
    out += "BEGIN BEST_RECONSTRUCTION_FOUND\n";
}

int decimalDigits(int value)
{
    int digits = 0;
    for (; value > 0; value /= 10) ++digits;
    return digits;
}

void writeResultFile(std::string& out, const SearchState& state, const std::vector<int>& genotypeMap,
                     const std::vector<int>& sortedSlots, const std::vector<int>& rankOfSlot,
                     int genotypeCount)
{
    const HaplotypeList& current = state.current;
    const HaplotypeList& best = state.best;
    writeResultOpening(out, state.bestCount, [&](int i) -> std::string_view { return current.text[sortedSlots[i]]; });
    for (int j = 0; j < genotypeCount; ++j) {
        appendFormatted(out, "%6d:", j + 1);
        for (const PairRecord* r = state.pairLists[genotypeMap[j]]; r != nullptr; r = r->next) {
            const int s1 = current.order[r->hap1];
            const int s2 = current.order[r->hap2];
            if (best.mark[s1] == 2 && best.mark[s2] == 2) {
                appendPair(out, rankOfSlot[s1] + 1, rankOfSlot[s2] + 1);
            }
        }
        out += '\n';
    }
    out += "END BEST_RECONSTRUCTION_FOUND\n";
}

void writeSymbolicSite(std::string& out, int label, int variable, char site, int digits)
{
    if (site != '2') {
        out.append(static_cast<std::size_t>(digits + 1), ' ');
        out += site;
        return;
    }
    const int blanks = digits - decimalDigits(variable) + 1;
    if (blanks > 0) out.append(static_cast<std::size_t>(blanks), ' ');
    out += label > 0 ? 'p' : 'n';
    appendFormatted(out, "%d", variable);
}

void writeSymbolicList(std::string& out, const SearchState& state,
                       const std::vector<int>& sortedSlots, int variableCount)
{
    const HaplotypeList& best = state.best;
    out += "\nA multiple solution (in symbolic form) was found.\n";
    out += "Genotype reconstruction is the same as indicated above\n";
    out += "Note that pXY = 1 - nXY\n";
    out += "BEGIN SYMBOLIC_HAPLOTYPE_LIST\n";
    const int digits = decimalDigits(variableCount);
    for (int i = 1; i <= state.bestCount; ++i) {
        const int s = sortedSlots[i - 1];
        const int label = best.label[s];
        int variable = best.variableBase[std::abs(label)];
        appendFormatted(out, "%6d: ", i);
        for (const char site : best.text[s]) {
            writeSymbolicSite(out, label, variable, site, digits);
            if (site == '2') ++variable;
        }
        out += '\n';
    }
    out += "END SYMBOLIC_HAPLOTYPE_LIST\n\n";
}

namespace {

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string describeErrno(int code)
{
    return std::strerror(code);
}

// Creates a new empty file next to `path`; returns its descriptor and name.
int createTemporaryBeside(const std::string& path, std::string& temporaryName)
{
    temporaryName = path + ".tmpXXXXXX";
    std::vector<char> name(temporaryName.begin(), temporaryName.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    temporaryName.assign(name.data());
    return fd;
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

bool checkOutputWritable(const std::string& path, std::string& error)
{
    if (path.empty()) {
        error = "Couldn't create the output file: the name is empty";
        return false;
    }
    if (isDirectory(path)) {
        error = "Couldn't create the output file " + path + ": it is a folder";
        return false;
    }
    // The probe file exists only while interrupts wait, so an interrupted
    // run never leaves it behind.
    const InterruptBlock block;
    std::string temporaryName;
    const int fd = createTemporaryBeside(path, temporaryName);
    if (fd < 0) {
        error = "Couldn't create the output file " + path + ": " + describeErrno(errno)
                + " (folder " + folderOf(path) + ")";
        return false;
    }
    close(fd);
    unlink(temporaryName.c_str());
    return true;
}

bool replaceFileAtomically(const std::string& path,
                           const std::function<int(int fd, const std::string& temporaryName)>& write,
                           std::string& error)
{
    if (isDirectory(path)) {
        error = "Couldn't write the output file " + path + ": it is a folder";
        return false;
    }
    // A second interrupt while the file is written removes the temporary
    // file; it is registered and renamed while interrupts wait, so the
    // handler never meets it half made or already renamed.
    std::string temporaryName;
    int fd = -1;
    int createError = 0;
    {
        const InterruptBlock block;
        fd = createTemporaryBeside(path, temporaryName);
        createError = errno;
        if (fd >= 0) registerTemporaryFile(temporaryName);
    }
    if (fd < 0) {
        error = "Couldn't write the output file " + path + ": " + describeErrno(createError);
        return false;
    }
    // A new file gets the usual permissions, as if created directly.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    int failure = write(fd, temporaryName);
    if (failure == 0 && fsync(fd) != 0) failure = errno;
    if (close(fd) != 0 && failure == 0) failure = errno;
    const InterruptBlock block;
    if (failure == 0 && std::rename(temporaryName.c_str(), path.c_str()) != 0) failure = errno;
    if (failure != 0) unlink(temporaryName.c_str());
    forgetTemporaryFile();
    if (failure != 0) {
        error = "Couldn't write the output file " + path + ": " + describeErrno(failure);
        return false;
    }
    return true;
}

bool saveFileAtomically(const std::string& path, const std::string& content, std::string& error)
{
    return replaceFileAtomically(
        path,
        [&content](int fd, const std::string&) {
            const char* data = content.data();
            std::size_t left = content.size();
            while (left > 0) {
                const ssize_t written = ::write(fd, data, left);
                if (written < 0) {
                    if (errno == EINTR) continue;
                    return errno;
                }
                data += written;
                left -= static_cast<std::size_t>(written);
            }
            return 0;
        },
        error);
}
