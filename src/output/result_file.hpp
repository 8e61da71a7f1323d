#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct SearchState;

// Appends the result lines to `out`: the haplotype list (the texts of the
// used slots of current, in output order) and, for every input genotype, each
// candidate pair of the rebuilt lists whose two slots are used by best.
void writeResultFile(std::string& out, const SearchState& state, const std::vector<int>& genotypeMap,
                     const std::vector<int>& sortedSlots, const std::vector<int>& rankOfSlot,
                     int genotypeCount);

// Appends what every result file opens with: the haplotype list of `count`
// lines, numbered from 1, `haplotype(i)` the text of line i + 1, and the
// headings of the block of pairs.
void writeResultOpening(std::string& out, int count, const std::function<std::string_view(int)>& haplotype);

// Appends `value` as `format` (one int conversion) prints it.
void appendFormatted(std::string& out, const char* format, int value);

// Appends one pair of a genotype's line: " (first,second)".
void appendPair(std::string& out, int first, int second);

// Appends the symbolic haplotype list: the haplotypes of best in the same
// order, with every undetermined site written as a variable pV (positive
// label) or nV (negative label), numbered from the component's variableBase.
// `variableCount` (above 0) sets the width of the fields.
void writeSymbolicList(std::string& out, const SearchState& state,
                       const std::vector<int>& sortedSlots, int variableCount);

// One field of a symbolic haplotype line, digits + 2 characters wide.
void writeSymbolicSite(std::string& out, int label, int variable, char site, int digits);

// Number of decimal digits of a positive number; 0 for 0 or below.
int decimalDigits(int value);

// Replaces the file at `path` all at once with what `write` puts into a new
// temporary file beside it, given its open descriptor and its name: the
// temporary file is renamed over `path` only when `write` returns 0 (else an
// errno value) and the data are on disk. A second interrupt meanwhile
// removes the temporary file. On failure `path` is left as it was and
// `error` says why.
bool replaceFileAtomically(const std::string& path,
                           const std::function<int(int fd, const std::string& temporaryName)>& write,
                           std::string& error);

// Replaces the file at `path` with `content` all at once: the content goes to
// a temporary file in the same folder, which is renamed over `path` only when
// it is complete. On failure `path` is left as it was and `error` says why.
bool saveFileAtomically(const std::string& path, const std::string& content, std::string& error);

// Checks that a file can be created where `path` names one. On failure
// `error` says why.
bool checkOutputWritable(const std::string& path, std::string& error);
