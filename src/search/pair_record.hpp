#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// One candidate pair of live slots of the working list that can explain one
// distinct genotype. The slots are held as positions in the working list's
// `order` array, which the collapse pass never changes.
struct PairRecord {
    int hap1 = 0;          // position of the first slot (never the larger slot index)
    int hap2 = 0;          // position of the second slot; equal to hap1 for a slot used twice
    float w = 0.0f;        // 0.5 to the power vts; -1 when a rescore found the pair no longer fits
    int vts = 0;           // site decisions that taking the pair implies
    int vnc = 0;           // '2's of isolated slots at those decisions
    int genotype = 0;      // distinct genotype whose list holds the record
    int sd = 0;            // open candidates of other genotypes that taking the pair would rule out
    int active = 1;        // cleared by the closing sweep when a slot of the pair is not shared
    PairRecord* next = nullptr;  // next record of the same candidate list
};

// Storage of the records of the candidate lists. Records are handed out one
// at a time and keep their address until the pool is emptied; a record given
// back is reused by a later allocation. Emptying the pool at every reset
// reuses the same memory for the whole run.
class PairRecordPool {
public:
    PairRecord* allocate()
    {
        ++liveRecords_;
        if (freeList_ != nullptr) {
            PairRecord* record = freeList_;
            freeList_ = record->next;
            return record;
        }
        if (used_ == chunks_.size() * kChunkSize) {
            chunks_.push_back(std::make_unique<PairRecord[]>(kChunkSize));
        }
        PairRecord* record = &chunks_[used_ / kChunkSize][used_ % kChunkSize];
        ++used_;
        return record;
    }

    void release(PairRecord* record)
    {
        --liveRecords_;
        record->next = freeList_;
        freeList_ = record;
    }

    // Gives back every record at once.
    void releaseAll()
    {
        used_ = 0;
        freeList_ = nullptr;
        liveRecords_ = 0;
    }

    std::size_t liveRecords() const { return liveRecords_; }

private:
    static constexpr std::size_t kChunkSize = 4096;
    std::vector<std::unique_ptr<PairRecord[]>> chunks_;
    std::size_t used_ = 0;
    std::size_t liveRecords_ = 0;
    PairRecord* freeList_ = nullptr;
};
