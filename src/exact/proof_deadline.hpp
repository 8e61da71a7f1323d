#pragma once

#include <cadical.hpp>

#include <chrono>
#include <functional>

// When the exact check must stop: a wall-clock limit, or an interrupt that
// `interrupted` reports. It is also a CaDiCaL terminator, so that a SAT call
// stops at once; the other steps ask it between units of work.
class ProofDeadline final : public CaDiCaL::Terminator {
public:
    // `seconds` 0 or below: no time limit. `interrupted` may be empty.
    ProofDeadline(double seconds, std::function<bool()> interrupted);

    bool terminate() override { return expired(); }

    // Whether the time is up or an interrupt came. Once true, stays true.
    bool expired();
    bool interruptSeen() const { return interruptSeen_; }
    bool timeUp() const { return timeUp_; }

    // Seconds since the deadline was made.
    double elapsed() const;
    // Seconds left; a large number when there is no limit.
    double remaining() const;

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_;
    double seconds_ = 0.0;
    std::function<bool()> interrupted_;
    bool interruptSeen_ = false;
    bool timeUp_ = false;
};
