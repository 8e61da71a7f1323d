#include "phasing/site_window.hpp"

std::vector<SiteWindow> planWindows(int sites, int window, int overlap)
{
    if (window <= 0 || window >= sites) return {{0, sites}};
    const int step = window - overlap;
    std::vector<SiteWindow> windows;
    for (int first = 0;; first += step) {
        if (first + window >= sites) {
            windows.push_back({sites - window, sites});
            break;
        }
        windows.push_back({first, first + window});
    }
    return windows;
}
