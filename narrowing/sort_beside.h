#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "platform/run_beside.h"

namespace dupsieve {

// Fewer records than this are sorted faster than a thread starts.
inline constexpr std::ptrdiff_t kSortBesideFrom = 16384;

// std::stable_sort, with the second half sorted on another thread while
// this one sorts the first, then merged: the same order, in about half the
// time where a second processor is idle (as it is between the walk and the
// reading of heads). A stable sort of each half and a merge that takes the
// first half's first at a tie keep equal records in their order. The
// buffers, half a range in all, are those std::stable_sort would take.
template <class Iterator, class Less>
void stableSortBeside(Iterator first, Iterator last, Less less) {
  const std::ptrdiff_t count = std::distance(first, last);
  if (count < kSortBesideFrom) {
    std::stable_sort(first, last, less);
    return;
  }
  const Iterator middle = std::next(first, count / 2);
  runBeside([&] { std::stable_sort(middle, last, less); },
            [&] { std::stable_sort(first, middle, less); });
  std::inplace_merge(first, middle, last, less);
}

}  // namespace dupsieve
