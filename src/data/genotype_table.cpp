#include "data/genotype_table.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// The white space of the C locale, which separates the tokens of the file.
bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digitValue(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// The bytes of a genotype file, taken in chunks as the reader asks for them,
// so that the reader never holds more of the file than the token it is
// reading and never reads past the last genotype it needs.
class ByteStream {
public:
    // The whole text is in memory already.
    explicit ByteStream(std::string_view text) : next_(text.data()), end_(text.data() + text.size()) {}

    // Chunks of `chunkSize` bytes (at least 4, for the look-ahead of the
    // counts) of an open file.
    ByteStream(std::FILE* file, std::size_t chunkSize) : file_(file), buffer_(std::max<std::size_t>(chunkSize, 4))
    {
        next_ = end_ = buffer_.data();
    }

    // The byte `ahead` places on, or -1 past the end.
    int peek(std::size_t ahead = 0)
    {
        while (static_cast<std::size_t>(end_ - next_) <= ahead) {
            if (!refill()) return -1;
        }
        return static_cast<unsigned char>(next_[ahead]);
    }

    void advance(std::size_t count = 1) { next_ += count; }

    void skipBlanks()
    {
        while (isBlank(peek())) advance();
    }

    // Appends to `word` the non-blank bytes that come next, at most `most` of
    // them; stops at a blank, at the end, or at `most`.
    void takeWord(std::string& word, std::size_t most)
    {
        while (word.size() < most) {
            if (next_ == end_ && !refill()) return;
            const char* stop = next_ + std::min<std::size_t>(static_cast<std::size_t>(end_ - next_), most - word.size());
            const char* p = next_;
            while (p < stop && !isBlank(static_cast<unsigned char>(*p))) ++p;
            word.append(next_, p);
            const bool blank = p < stop;
            next_ = p;
            if (blank) return;
        }
    }

    // True when reading the file failed (not merely ended).
    bool failed() const { return failed_; }
    int error() const { return error_; }

private:
    // Moves the unread bytes to the front and reads more after them.
    bool refill()
    {
        if (file_ == nullptr || failed_) return false;
        const std::size_t kept = static_cast<std::size_t>(end_ - next_);
        std::memmove(buffer_.data(), next_, kept);
        const std::size_t got = std::fread(buffer_.data() + kept, 1, buffer_.size() - kept, file_);
        if (got == 0 && std::ferror(file_)) {
            failed_ = true;
            error_ = errno;
        }
        next_ = buffer_.data();
        end_ = next_ + kept + got;
        return got > 0;
    }

    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    bool failed_ = false;
    int error_ = 0;
};

// "%i": optional sign, then "0x"/"0X" and hexadecimal digits, a leading "0"
// and octal digits, or decimal digits. Saturates at the int range; digits
// beyond that are read and dropped.
bool readInteger(ByteStream& in, int& value)
{
    in.skipBlanks();
    std::size_t p = 0;
    bool negative = false;
    if (in.peek(p) == '+' || in.peek(p) == '-') {
        negative = in.peek(p) == '-';
        ++p;
    }
    int base = 10;
    if (in.peek(p) == '0') {
        base = 8;
        if ((in.peek(p + 1) == 'x' || in.peek(p + 1) == 'X') && digitValue(in.peek(p + 2)) < 16) {
            base = 16;
            p += 2;
        }
    }
    if (digitValue(in.peek(p)) >= base) return false;
    in.advance(p);
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (int c = in.peek(); digitValue(c) < base; c = in.peek()) {
        magnitude = std::min(magnitude * base + digitValue(c), limit);
        in.advance();
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

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

// Reads the whole table from `in`; on any fault the table is left as it was.
GenotypeReadResult parseGenotypes(ByteStream& in, const std::string& fileName, GenotypeTable& table,
                                  const MemoryLimit& memory)
{
    // A byte-order mark is what some editors put before UTF-8 text; the
    // text after it is read as usual. UTF-16 text cannot be read at all.
    if (in.peek(0) == 0xEF && in.peek(1) == 0xBB && in.peek(2) == 0xBF) {
        in.advance(3);
    } else if ((in.peek(0) == 0xFF && in.peek(1) == 0xFE) || (in.peek(0) == 0xFE && in.peek(1) == 0xFF)) {
        return refuse(fileName, "it is UTF-16 text; save it as plain text (ASCII or UTF-8)");
    }

    GenotypeTable read;
    if (!readInteger(in, read.genotypeCount)) {
        return refuse(fileName, "the number of genotypes is missing or not a number");
    }
    if (read.genotypeCount <= 0) {
        return refuse(fileName, "the number of genotypes must be at least 1, not "
                                    + std::to_string(read.genotypeCount));
    }
    if (!readInteger(in, read.length)) {
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

    // The announced count is never trusted for an allocation: the table
    // grows with the genotypes actually read, within the memory budget.
    const auto length = static_cast<std::size_t>(read.length);
    std::string token;
    for (int i = 0; i < read.genotypeCount; ++i) {
        in.skipBlanks();
        token.clear();
        in.takeWord(token, length + 1);
        if (token.empty()) {
            return refuse(fileName, "it announces " + std::to_string(read.genotypeCount)
                                        + " genotypes but holds only " + std::to_string(i));
        }
        const std::string number = std::to_string(i + 1);
        if (token.size() > length) {
            return refuse(fileName, "genotype " + number + " has more than " + std::to_string(length) + " sites");
        }
        if (token.size() < length) {
            return refuse(fileName, "genotype " + number + " has " + std::to_string(token.size())
                                        + " sites, not " + std::to_string(length));
        }
        for (std::size_t s = 0; s < length; ++s) {
            if (token[s] != '0' && token[s] != '1' && token[s] != '2') {
                return refuse(fileName, "genotype " + number + " has " + describeCharacter(token[s])
                                            + " at site " + std::to_string(s + 1)
                                            + "; sites must be '0', '1' or '2'");
            }
        }
        const std::uint64_t held = genotypeTableBytes(static_cast<std::uint64_t>(i) + 1, read.length);
        if (held > memory.bytes) {
            const std::uint64_t needed = genotypeTableBytes(static_cast<std::uint64_t>(read.genotypeCount), read.length);
            return refuse(fileName, "its " + std::to_string(read.genotypeCount) + " genotypes of "
                                        + std::to_string(read.length) + " sites "
                                        + describeMemoryShortfall(needed, memory));
        }
        read.genotypes.push_back(token);
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

} // namespace

GenotypeReadResult parseGenotypeText(std::string_view text, const std::string& fileName, GenotypeTable& table,
                                     const MemoryLimit& memory)
{
    ByteStream in(text);
    return parseGenotypes(in, fileName, table, memory);
}

GenotypeReadResult readGenotypeStream(std::FILE* file, const std::string& fileName, GenotypeTable& table,
                                      const MemoryLimit& memory, std::size_t chunkSize)
{
    ByteStream in(file, chunkSize);
    GenotypeReadResult result = parseGenotypes(in, fileName, table, memory);
    // A fault found after a failed read is the failed read's doing.
    if (!result.ok && in.failed()) {
        return {false, "Couldn't read the specified file: " + fileName + ": " + std::strerror(in.error())};
    }
    return result;
}
