#include "data/site_planes.hpp"

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>

TEST(SitePlanes, HoldOneBitPerSiteInExactlyOnePlaneAndGiveTheTextBack)
{
    std::mt19937 rng(17);
    for (int length = 1; length <= 200; ++length) {
        std::string text(static_cast<std::size_t>(length), '0');
        for (char& c : text) c = "012"[rng() % 3];
        SitePlanes planes;
        resizeSitePlanes(planes, 2, length);
        refreshSitePlanes(planes, 1, text.data(), length);
        for (int k = 0; k < planes.words * 64; ++k) {
            const auto bit = [&](const std::uint64_t* plane) { return (plane[k / 64] >> (k % 64)) & 1; };
            const char c = k < length ? text[k] : '\0';
            ASSERT_EQ(bit(planes.zeroOf(1)), c == '0' ? 1u : 0u) << "length " << length << " site " << k;
            ASSERT_EQ(bit(planes.oneOf(1)), c == '1' ? 1u : 0u) << "length " << length << " site " << k;
            ASSERT_EQ(bit(planes.openOf(1)), c == '2' ? 1u : 0u) << "length " << length << " site " << k;
        }
        std::string back(static_cast<std::size_t>(length), 'x');
        writePlanesText(planes, 1, back.data(), length);
        ASSERT_EQ(back, text) << "the text written back from the planes";
    }
}
