#include "run/run_clock.hpp"

#include <chrono>
#include <cstdio>

namespace {

std::int64_t clockMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

RunClock startRunClock()
{
    RunClock clock;
    clock.startTime = clockMilliseconds();
    clock.currentTime = clock.startTime;
    return clock;
}

void takeTimingReading(RunClock& clock)
{
    clock.currentTime = clockMilliseconds();
    clock.elapTime = static_cast<double>(clock.currentTime - clock.startTime) * 0.001;
}

void timeCheckpoint(RunClock& clock, const char* label)
{
    takeTimingReading(clock);
    std::printf("%s... ", label);
    std::printf("elapTime = %.3f sec.\n", clock.elapTime);
}
