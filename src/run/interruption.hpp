#pragma once

#include <signal.h>

#include <string>

// Interruption of a run by SIGINT or SIGTERM.
//
// The first signal only asks the run to stop: the search finishes the
// attempt it is in, and the run ends through its normal finish with the best
// reconstruction found so far. A second signal ends the process at once:
// the temporary result file, if one is being written, is removed, so an
// earlier result file stays as it was, and the process exits with 128 plus
// the signal's number.
//
// The signal that came, and the name of the temporary file a second signal
// must remove, are the one piece of process-wide state of the program: a
// signal handler can reach nothing else.

// Installs the handlers of SIGINT and SIGTERM and lets both signals through.
// A signal that the process was started with ignored (a background job of a
// shell) stays ignored.
void installInterruptHandlers();

// The first signal received since the handlers were installed, or 0.
int interruptSignal();

// "SIGINT", "SIGTERM", or "signal N".
std::string signalName(int signal);

// Keeps SIGINT and SIGTERM from being handled while it lives, so that the
// handler never sees a temporary file half created or half renamed; a
// signal that comes meanwhile is handled when the block ends.
class InterruptBlock {
public:
    InterruptBlock();
    ~InterruptBlock();
    InterruptBlock(const InterruptBlock&) = delete;
    InterruptBlock& operator=(const InterruptBlock&) = delete;

private:
    sigset_t previousMask_;
};

// The temporary file that a second signal removes. Both calls are to be made
// inside an InterruptBlock, together with the creation and the renaming or
// removal of the file.
void registerTemporaryFile(const std::string& path);
void forgetTemporaryFile();

// Tells a second signal that the output file is complete, so that its
// closing line says so.
void noteOutputSaved();
