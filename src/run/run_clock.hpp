#pragma once

#include <cstdint>

// Wall-clock timing of a run, in milliseconds from a fixed start reading.
struct RunClock {
    std::int64_t startTime = 0;    // reading taken when the run starts
    std::int64_t currentTime = 0;  // latest reading
    double elapTime = 0.0;         // (currentTime - startTime) * 0.001 seconds
};

RunClock startRunClock();
void takeTimingReading(RunClock& clock);

// Diagnostic checkpoint: takes a reading and prints the label with the
// elapsed time. No step of a run calls it.
void timeCheckpoint(RunClock& clock, const char* label);
