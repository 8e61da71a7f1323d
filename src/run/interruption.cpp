#include "run/interruption.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

// Lock-free atomics: safe in a signal handler, and read by every thread of
// the search.
std::atomic<int> receivedSignal{0};
std::atomic<int> outputSaved{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The path a second signal removes; set and cleared only while both
// signals are blocked, so the handler sees either null or a whole name.
std::string temporaryPath;
const char* volatile temporaryPathText = nullptr;

extern "C" void onInterruptSignal(int signal)
{
    int none = 0;
    if (receivedSignal.compare_exchange_strong(none, signal)) return;
    const int savedErrno = errno;
    const char* path = temporaryPathText;
    if (path != nullptr) unlink(path);
    static const char notWritten[] = "\nInterrupted again: stopped at once; no output file was written.\n";
    static const char saved[] = "\nInterrupted again: stopped at once; the output file was already saved.\n";
    const ssize_t ignored = outputSaved.load() != 0 ? write(STDOUT_FILENO, saved, sizeof saved - 1)
                                             : write(STDOUT_FILENO, notWritten, sizeof notWritten - 1);
    (void)ignored;
    errno = savedErrno;
    _exit(128 + signal);
}

sigset_t interruptSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void installInterruptHandlers()
{
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = onInterruptSignal;
        sigemptyset(&action.sa_mask);
        // Reads and writes in progress go on after the handler has noted the
        // signal, rather than failing with EINTR.
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
    const sigset_t set = interruptSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

int interruptSignal()
{
    return receivedSignal.load(std::memory_order_relaxed);
}

std::string signalName(int signal)
{
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    return "signal " + std::to_string(signal);
}

InterruptBlock::InterruptBlock()
{
    const sigset_t set = interruptSignals();
    sigprocmask(SIG_BLOCK, &set, &previousMask_);
}

InterruptBlock::~InterruptBlock()
{
    sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
}

void registerTemporaryFile(const std::string& path)
{
    temporaryPath = path;
    temporaryPathText = temporaryPath.c_str();
}

void forgetTemporaryFile()
{
    temporaryPathText = nullptr;
    temporaryPath.clear();
}

void noteOutputSaved()
{
    outputSaved.store(1);
}
