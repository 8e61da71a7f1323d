#pragma once

#include "data/genotype_table.hpp"
#include "data/memory_budget.hpp"
#include "vcf/vcf_input.hpp"

#include <optional>

struct RunSettings;

// Reads the input file named by settings.inputFilename, whatever its name:
// a VCF (plain or bgzipped) or BCF file, recognised by its content, is read
// with settings.vcf into `table` and `vcf`; anything else is read as a
// genotype matrix exactly as readGenotypeStream reads it, and `vcf` is left
// empty. The file is read as a stream, so a pipe (/dev/stdin) works for
// every format. A file that cannot be opened gives "Couldn't open the
// specified file: <name>"; VCF options on a matrix file are refused.
GenotypeReadResult readGenotypeInput(const RunSettings& settings, GenotypeTable& table,
                                     std::optional<VcfInput>& vcf, const MemoryLimit& memory = {});
