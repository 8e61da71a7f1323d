#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

// The console lines of iterations that run side by side, printed in the
// order of the iterations: while every earlier line is complete, an
// iteration's text goes out as it comes; otherwise it waits until they are.
// Every text is flushed as it is printed. Safe to use from several threads.
class OrderedConsole {
public:
    explicit OrderedConsole(std::FILE* out);

    // Adds text to the line of `iteration`.
    void append(int iteration, const std::string& text);
    // Ends the line of `iteration`.
    void endLine(int iteration);

private:
    struct Waiting {
        std::string text;
        bool ended = false;
    };
    void print(const std::string& text);

    std::mutex mutex_;
    std::FILE* out_;
    int head_ = 1;  // the iteration whose line is being printed
    std::map<int, Waiting> waiting_;
};
