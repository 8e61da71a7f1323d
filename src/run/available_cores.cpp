#include "run/available_cores.hpp"

#include <sched.h>

#include <fstream>
#include <sstream>

namespace {

std::string firstLineOf(const char* path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

int quotaCores(long long quota, long long period)
{
    if (quota <= 0 || period <= 0) return 0;
    return static_cast<int>((quota + period - 1) / period);
}

} // namespace

int coresOfCpuMax(const std::string& cpuMax)
{
    std::istringstream fields(cpuMax);
    std::string quota;
    long long period = 0;
    if (!(fields >> quota >> period) || quota == "max") return 0;
    try {
        return quotaCores(std::stoll(quota), period);
    } catch (...) {
        return 0;
    }
}

AvailableCores availableCores()
{
    AvailableCores cores;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        cores.count = CPU_COUNT(&set);
        cores.source = "the affinity mask";
    }
    int quota = coresOfCpuMax(firstLineOf("/sys/fs/cgroup/cpu.max"));
    if (quota == 0) {
        // Version 1 keeps the two numbers of cpu.max in two files.
        quota = coresOfCpuMax(firstLineOf("/sys/fs/cgroup/cpu/cpu.cfs_quota_us") + " "
                              + firstLineOf("/sys/fs/cgroup/cpu/cpu.cfs_period_us"));
    }
    if (quota > 0 && quota < cores.count) {
        cores.count = quota;
        cores.source = "the CPU quota of the control group";
    }
    if (cores.count < 1) cores.count = 1;
    return cores;
}
