#include "narrowing/sort_beside.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace dupsieve {
namespace {

TEST(SortBeside, KeepsTheOrderOfAStableSortAcrossBothHalvesAndInPlace) {
  // Few keys, so that runs of equal keys straddle the middle; the second
  // member tells the order they came in.
  for (const std::ptrdiff_t count : {kSortBesideFrom - 1, kSortBesideFrom, 3 * kSortBesideFrom + 1}) {
    std::vector<std::pair<int, std::ptrdiff_t>> values;
    for (std::ptrdiff_t i = 0; i < count; ++i) values.emplace_back(static_cast<int>(i * 7919 % 13), i);
    std::vector<std::pair<int, std::ptrdiff_t>> expected = values;
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(expected.begin(), expected.end(), byKey);
    std::vector<std::pair<int, std::ptrdiff_t>> inPlace = values;
    stableSortBeside(values.begin(), values.end(), byKey);
    EXPECT_EQ(values, expected) << count;
    stableSortInPlace(inPlace, byKey);
    EXPECT_EQ(inPlace, expected) << count;
  }
}

TEST(SortBeside, WhatTheOtherThreadThrowsReachesTheCaller) {
  bool here = false;
  EXPECT_THROW(runBeside([] { throw std::length_error("there"); }, [&] { here = true; }),
               std::length_error);
  EXPECT_TRUE(here);
}

}  // namespace
}  // namespace dupsieve
