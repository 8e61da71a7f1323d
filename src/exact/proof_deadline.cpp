#include "exact/proof_deadline.hpp"

#include <utility>

ProofDeadline::ProofDeadline(double seconds, std::function<bool()> interrupted)
    : start_(Clock::now()), seconds_(seconds), interrupted_(std::move(interrupted))
{
}

bool ProofDeadline::expired()
{
    if (interruptSeen_ || timeUp_) return true;
    if (interrupted_ && interrupted_()) {
        interruptSeen_ = true;
        return true;
    }
    if (seconds_ > 0.0 && elapsed() >= seconds_) {
        timeUp_ = true;
        return true;
    }
    return false;
}

double ProofDeadline::elapsed() const
{
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

double ProofDeadline::remaining() const
{
    if (seconds_ <= 0.0) return 1e30;
    const double left = seconds_ - elapsed();
    return left > 0.0 ? left : 0.0;
}
