#include "run/ordered_console.hpp"

OrderedConsole::OrderedConsole(std::FILE* out) : out_(out) {}

void OrderedConsole::print(const std::string& text)
{
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

void OrderedConsole::append(int iteration, const std::string& text)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (iteration == head_) print(text);
    else waiting_[iteration].text += text;
}

void OrderedConsole::endLine(int iteration)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (iteration != head_) {
        waiting_[iteration].ended = true;
        return;
    }
    print("\n");
    // The next lines: those that ended go out whole; the first that has not
    // ended goes out as far as it came, and its later text goes out at once.
    for (++head_;; ++head_) {
        const auto next = waiting_.find(head_);
        if (next == waiting_.end()) break;
        print(next->second.text);
        const bool ended = next->second.ended;
        waiting_.erase(next);
        if (!ended) break;
        print("\n");
    }
}
