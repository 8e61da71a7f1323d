#pragma once

#include <string>
#include <vector>

// The samples a run keeps, as --samples FILE lists them: one name per line,
// in the file's order. Blanks and tabs around a name, a Windows line end and
// empty lines are ignored.

// The indices into `available` (the samples of the VCF file `vcfName`) of the
// names listed in the file at `listPath`, in the file's order. A file that
// cannot be read, lists no name, lists a name twice or names a sample the VCF
// file does not have is refused: false, with a one-line `error`.
bool selectSamples(const std::string& listPath, const std::vector<std::string>& available,
                   const std::string& vcfName, std::vector<int>& chosen, std::string& error);
