#include "data/genotype_table.hpp"

#include "run/run_settings.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <memory>
#include <string_view>
#include <unordered_set>

namespace {

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Reads the white-space separated tokens of a genotype file the way the
// C conversions "%i" and "%s" would.
class TokenReader {
public:
    explicit TokenReader(const std::string& text) : text_(text) {}

    // "%i": optional sign, then "0x"/"0X" and hexadecimal digits, a leading
    // "0" and octal digits, or decimal digits. Saturates at the int range.
    bool readInteger(int& value)
    {
        skipBlanks();
        std::size_t p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
            negative = text_[p] == '-';
            ++p;
        }
        int base = 10;
        if (p < text_.size() && text_[p] == '0') {
            base = 8;
            if (p + 2 < text_.size() && (text_[p + 1] == 'x' || text_[p + 1] == 'X')
                && digitValue(text_[p + 2]) < 16) {
                base = 16;
                p += 2;
            }
        }
        const std::size_t firstDigit = p;
        long long magnitude = 0;
        const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
        while (p < text_.size() && digitValue(text_[p]) < base) {
            magnitude = magnitude * base + digitValue(text_[p]);
            if (magnitude > limit) {
                magnitude = limit;
            }
            ++p;
        }
        if (p == firstDigit) {
            return false;
        }
        pos_ = p;
        value = static_cast<int>(negative ? -magnitude : magnitude);
        return true;
    }

    // "%s": the next run of non-blank characters.
    bool readToken(std::string_view& token)
    {
        skipBlanks();
        if (pos_ == text_.size()) {
            return false;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isBlank(text_[pos_])) {
            ++pos_;
        }
        token = std::string_view(text_).substr(start, pos_ - start);
        return true;
    }

private:
    void skipBlanks()
    {
        while (pos_ < text_.size() && isBlank(text_[pos_])) {
            ++pos_;
        }
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

std::string describeCharacter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (std::isprint(byte)) {
        return std::string("'") + c + "'";
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "byte 0x%02X", static_cast<unsigned>(byte));
    return buffer;
}

GenotypeReadResult refuse(const std::string& fileName, const std::string& fault)
{
    return {false, "Error in the genotype file " + fileName + ": " + fault};
}

} // namespace

GenotypeReadResult parseGenotypeText(const std::string& text, const std::string& fileName,
                                     GenotypeTable& table)
{
    TokenReader reader(text);
    GenotypeTable read;
    if (!reader.readInteger(read.genotypeCount)) {
        return refuse(fileName, "the number of genotypes is missing or not a number");
    }
    if (read.genotypeCount <= 0) {
        return refuse(fileName, "the number of genotypes must be at least 1, not "
                                    + std::to_string(read.genotypeCount));
    }
    if (!reader.readInteger(read.length)) {
        return refuse(fileName, "the number of sites is missing or not a number");
    }
    if (read.length <= 0) {
        return refuse(fileName,
                      "the number of sites must be at least 1, not " + std::to_string(read.length));
    }
    if (read.length > kMaxSites) {
        return refuse(fileName, "the number of sites is " + std::to_string(read.length)
                                    + ", more than the " + std::to_string(kMaxSites)
                                    + " supported");
    }

    // Never trust the announced count for an allocation: a genotype takes at
    // least L+1 bytes of the file.
    const std::size_t room = text.size() / (static_cast<std::size_t>(read.length) + 1) + 1;
    read.genotypes.reserve(std::min<std::size_t>(room, static_cast<std::size_t>(read.genotypeCount)));
    for (int i = 0; i < read.genotypeCount; ++i) {
        std::string_view token;
        if (!reader.readToken(token)) {
            return refuse(fileName, "it announces " + std::to_string(read.genotypeCount)
                                        + " genotypes but holds only " + std::to_string(i));
        }
        const std::string number = std::to_string(i + 1);
        if (token.size() != static_cast<std::size_t>(read.length)) {
            return refuse(fileName, "genotype " + number + " has " + std::to_string(token.size())
                                        + " sites, not " + std::to_string(read.length));
        }
        for (std::size_t s = 0; s < token.size(); ++s) {
            if (token[s] != '0' && token[s] != '1' && token[s] != '2') {
                return refuse(fileName, "genotype " + number + " has " + describeCharacter(token[s])
                                            + " at site " + std::to_string(s + 1)
                                            + "; sites must be '0', '1' or '2'");
            }
        }
        read.genotypes.emplace_back(token);
    }

    std::unordered_set<std::string_view> distinct;
    distinct.reserve(read.genotypes.size());
    for (const std::string& genotype : read.genotypes) {
        distinct.insert(genotype);
    }
    read.distinctCount = static_cast<int>(distinct.size());
    if (read.distinctCount > kMaxDistinctGenotypes) {
        return refuse(fileName, std::to_string(read.distinctCount)
                                    + " distinct genotypes, more than the "
                                    + std::to_string(kMaxDistinctGenotypes) + " supported");
    }
    table = std::move(read);
    return {true, {}};
}

GenotypeReadResult readGenotypeFile(const RunSettings& settings, GenotypeTable& table)
{
    const std::string& name = settings.inputFilename;
    const GenotypeReadResult cannotOpen{false, "Couldn't open the specified file: " + name};

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(name.c_str(), "r"), &std::fclose);
    if (!file) {
        return cannotOpen;
    }
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode)) {
        return cannotOpen;
    }
    std::string text;
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
    }
    if (std::ferror(file.get())) {
        return cannotOpen;
    }
    return parseGenotypeText(text, name, table);
}
