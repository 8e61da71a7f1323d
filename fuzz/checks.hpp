#pragma once

// What the fuzz targets check on one input. Each returns an empty string
// when every property holds, or a description of the first one that fails.
// The fuzz targets stop on a failure; the test suite replays the seed corpus
// and the saved findings through the same checks.

#include <cstddef>
#include <cstdint>
#include <string>

// Arbitrary bytes as a genotype file: read from memory and from a stream in
// small chunks, the two reads must agree; an accepted table must hold the
// announced genotypes of the announced length over '0', '1', '2' with the
// right distinct count; a refusal must be one line naming the file.
std::string checkGenotypeReaderInput(const std::uint8_t* data, std::size_t size);

// Arbitrary bytes as an argument vector (arguments separated by NUL bytes):
// the parsed settings must match a plain reading of the same arguments.
std::string checkCommandLineInput(const std::uint8_t* data, std::size_t size);

// Bytes decoded into at most 12 genotypes of at most 12 sites and a few
// search settings: a whole search, whose result file must list haplotypes
// that explain every genotype, each with at least one pair.
std::string checkWholeSearchInput(const std::uint8_t* data, std::size_t size);

// Bytes decoded into at most 6 genotypes of at most 6 sites and a few search
// settings: a whole search, then its lower bounds and its exact check, which
// must agree with a brute force: the bound never above the optimum, the
// check proving the optimum and finding it when the search did not.
std::string checkExactProofInput(const std::uint8_t* data, std::size_t size);

// Arbitrary bytes as an input file, read with each missing-call policy:
// bytes that are not VCF or BCF must be read exactly as the matrix reader
// reads them; an accepted VCF must give a well-formed table whose counts add
// up, a refusal one line naming the file; and the phased VCF, bgzipped VCF
// or BCF written from an accepted table must read back as the same samples,
// sites and genotypes.
std::string checkVcfReaderInput(const std::uint8_t* data, std::size_t size);
