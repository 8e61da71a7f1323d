#pragma once

#include <string>

// How many cores this process may keep busy: the processors of its affinity
// mask, fewer when the CPU quota of its control group (cgroup v2 cpu.max, or
// v1 cpu.cfs_quota_us over cpu.cfs_period_us) allows less; at least 1.
struct AvailableCores {
    int count = 1;
    std::string source;  // what sets it, e.g. "the affinity mask"
};

AvailableCores availableCores();

// The cores a CPU quota allows: the quota over the period, rounded up; 0
// when the text sets no quota ("max", or a negative quota). `cpuMax` is the
// content of cgroup v2's cpu.max ("QUOTA PERIOD").
int coresOfCpuMax(const std::string& cpuMax);
