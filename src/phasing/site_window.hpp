#pragma once

#include <vector>

// A window of a phasing run: the sites first .. end-1 of the input, in
// input order.
struct SiteWindow {
    int first = 0;
    int end = 0;

    int size() const { return end - first; }
    friend bool operator==(const SiteWindow&, const SiteWindow&) = default;
};

// The windows that cover `sites` sites: `window` sites each, every one
// starting `window - overlap` sites after the one before, the last one moved
// back so that it ends at the last site (it then overlaps its neighbour by
// more). One window of every site when `window` is 0 or at least `sites`.
// Needs 0 <= overlap < window (or window 0).
std::vector<SiteWindow> planWindows(int sites, int window, int overlap);

// The sites two consecutive windows share: [next.first, previous.end).
inline SiteWindow windowOverlap(const SiteWindow& previous, const SiteWindow& next)
{
    return {next.first, previous.end > next.first ? previous.end : next.first};
}
