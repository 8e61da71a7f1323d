#pragma once

#include "data/haplotype_list.hpp"
#include "data/site_planes.hpp"
#include "search/conflict_lookahead.hpp"
#include "search/pair_record.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct DistanceStructure;

// Heads of candidate lists, one per distinct genotype (null when empty).
using PairHeads = std::vector<PairRecord*>;
// Saved pair records, one per distinct genotype.
using SavedPairs = std::vector<PairRecord>;

// A link of the chains with which the perturbation groups slots.
struct SlotChain {
    int first = -1;  // a slot of the working list; -1 in an empty head
    int next = -1;   // entry of the next node; -1 at the end of a chain
};

// Sites a group of slots takes over in a collapse, as planes: the sites, and
// the values that the slots on the kept slot's side take there (their mates
// take the complements).
struct FixedSites {
    std::vector<std::uint64_t> sites, zero, one;
    std::vector<int> words;  // the words that hold a site, ascending
};

// Everything the search works on: the working list, the two saved
// reconstructions with their haplotype counts and chosen pairs, the candidate
// lists of the working list, and the scratch buffers of the search steps.
struct SearchState {
    HaplotypeList current;        // the working list
    HaplotypeList best;           // best reconstruction of the run
    HaplotypeList iterationBest;  // best reconstruction of the running iteration
    int bestCount = 0;            // haplotypes used by best
    int iterationBestCount = 0;   // haplotypes used by iterationBest

    PairHeads pairLists;          // candidate lists of current
    PairRecordPool pairPool;      // owns the records of pairLists
    SavedPairs bestPairs;         // the pair chosen for each genotype in best
    SavedPairs iterationBestPairs;

    // Scratch buffers, filled by each user before it reads them.
    int firstSiteCount = 0;
    std::vector<int> firstSites;     // L site indices
    std::vector<char> firstValues;   // L site characters
    int firstGroupCount = 0;
    std::vector<int> firstGroup;     // n slots
    int secondSiteCount = 0;
    std::vector<int> secondSites;
    std::vector<char> secondValues;
    int secondGroupCount = 0;
    std::vector<int> secondGroup;
    std::vector<SlotChain> slotChains;  // 2n entries

    // The live slots of each component of current, by label magnitude, in no
    // particular order. Built by createSearchState and resetSearchState and
    // kept up to date by collapseSlots; the collapse pass, which relabels
    // components, leaves it stale until the next reset.
    std::vector<std::vector<int>> componentMembers;
    std::vector<int> memberIndex;  // slot -> its index in componentMembers
    // Between beginComponentCollapses and endComponentCollapses: the
    // component of each slot (an index of componentMembers, no longer its
    // label magnitude), its side, and each component's label for side +1.
    std::vector<int> slotComponent;
    std::vector<int> slotSide;
    std::vector<int> componentLabel;
    std::vector<std::uint8_t> groupMark;  // scratch of collapseSlots: 1 for A's group, 2 for B's, else 0
    // Slots of current whose planes changed while their texts were left
    // behind (see collapseSlotsLeavingTexts), and a flag per slot.
    std::vector<int> textsBehind;
    std::vector<std::uint8_t> textBehind;
    std::vector<int> changedWords;               // scratch of collapseSlots: words with a site taken over
    std::vector<std::uint64_t> unchangedWords;  // all ones, zero in the changed words while they are recounted
    std::vector<std::uint64_t> noSites;          // all zeros: the sites a slot outside the groups took over
    FixedSites firstFixed;   // scratch of collapseSlots: firstSites and firstValues as planes
    FixedSites secondFixed;  // secondSites and secondValues as planes

    // Scratch of the collapse pass: component sizes by label magnitude, the
    // positions of the slots that fit a genotype, the open candidates.
    std::vector<int> componentSize;
    std::vector<int> fittingPositions;
    // The values the fitting slots hold at the genotype's heterozygous
    // sites: per slot its zero and one planes there, or, for many slots,
    // per site and value the mask of the slots (by index) holding it.
    std::vector<std::uint64_t> fittingHeterozygous;
    // Per site, the live positions holding '0' and those holding '1'; the
    // live positions that fit one genotype.
    std::vector<std::uint64_t> zeroAtSite, oneAtSite, fittingMask;
    std::vector<std::uint64_t> groupRows;  // the same per group of three sites and combination of values
    std::vector<const std::uint64_t*> sieveRows;  // scratch of the sieve: the masks of one word's sites
    std::vector<std::uint64_t> livePlanes;  // zero and one planes of the live slots, by position
    std::vector<std::uint64_t> pairSitePlanes;  // scratch of fixPairSites: the sites it writes and their values
    std::vector<PairRecord*> openPairs;
    std::vector<OpenCandidate> openCandidates;
    std::vector<int> componentFileStart;  // open candidates filed by component
    std::vector<int> componentFileFill;
    std::vector<int> componentFiles;
    ConflictPlanes conflictPlanes;
    // What a commit of the collapse pass changed, for updateConflicts: by
    // label magnitude, 1 for a component whose slots were written, 2 for one
    // whose candidates' counts are stale (a candidate with a slot in it was
    // dropped, closed or written), 0 else; and the magnitudes marked.
    std::vector<std::uint8_t> componentChange;
    std::vector<int> changedComponents;
    // The label magnitude of the component the last commit of the collapse
    // pass wrote (its two components joined), until the next pricing reads
    // it; -1 when unknown: everything is checked and priced again.
    int writtenComponent = -1;
    // Planes of the texts: of the list the state was created from, and of
    // the live slots of current, set by a reset and kept in step by every
    // collapse and by the pass.
    SitePlanes initialPlanes;
    SitePlanes currentPlanes;
    SitePlanes genotypePlanes;  // the genotypes: slot 2i of the initial list is genotype i

    // Where the search's warnings go ("Dangerous i=...", "collassamento
    // pericoloso!!"): standard output when empty; a run on several threads
    // puts them into the line of the iteration that met them.
    std::function<void(const std::string&)> warningSink;
};

PairHeads newPairHeads(int count);
SavedPairs allocatePairRecords(int count);
// Copies the head record of each of the first `count` source lists into the
// saved records, with a null `next`. An empty source list leaves its saved
// record unchanged.
void copyPairRecords(SavedPairs& destination, const PairHeads& source, int count);
// Empties every candidate list, giving all their records back to the pool.
void freePairLists(PairHeads& lists, PairRecordPool& pool);

void createSearchState(SearchState& state, const HaplotypeList& initial);

// Prints a warning of the search through the state's sink, flushed.
void printSearchWarning(const SearchState& state, const std::string& text);
// Rebuilds componentMembers from the live slots of current.
void indexComponents(SearchState& state);
// Back to the start of a search: candidate lists freed, current a copy of the
// initial list, working distances restored from the initial ones.
void resetSearchState(SearchState& state, const HaplotypeList& initial, DistanceStructure& distances);
// The same, leaving the working distances as they are: for a perturbation
// attempt, which computes them afresh from its own collapses.
void resetSearchState(SearchState& state, const HaplotypeList& initial);
// Rewrites the texts of current that were left behind their planes.
void catchUpTexts(SearchState& state);
