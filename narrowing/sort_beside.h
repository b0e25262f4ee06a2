#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

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

// Puts `items` in the order that std::stable_sort with `less` would: the
// places of the items are sorted (stableSortBeside), then each item is
// moved once, straight to where it belongs. A large item is moved once
// rather than once per round of merging, and the extra memory is a few
// bytes per item rather than half the list. The items for which `leftOut`
// holds are not sorted: they follow the others, in the order they came.
// Returns how many were sorted.
template <class Item, class Less, class LeftOut>
std::size_t stableSortInPlace(std::vector<Item>& items, Less less, LeftOut leftOut) {
  if (items.size() > std::numeric_limits<std::uint32_t>::max()) {
    const auto end = std::stable_partition(items.begin(), items.end(),
                                           [&](const Item& item) { return !leftOut(item); });
    std::stable_sort(items.begin(), end, less);
    return static_cast<std::size_t>(end - items.begin());
  }
  // order[k] is the place of the item that belongs at k.
  std::vector<std::uint32_t> order;
  order.reserve(items.size());
  for (std::uint32_t k = 0; k < items.size(); ++k) {
    if (!leftOut(items[k])) order.push_back(k);
  }
  const auto sorted = static_cast<std::ptrdiff_t>(order.size());
  for (std::uint32_t k = 0; k < items.size(); ++k) {
    if (leftOut(items[k])) order.push_back(k);
  }
  const auto byItem = [&items, &less](std::uint32_t a, std::uint32_t b) {
    return less(items[a], items[b]);
  };
  // A list in order already, as one stage may leave it for the next, costs
  // one pass.
  if (!std::is_sorted(order.begin(), order.begin() + sorted, byItem)) {
    stableSortBeside(order.begin(), order.begin() + sorted, byItem);
  }
  // Each cycle of the order is followed once; a place done points to itself.
  for (std::uint32_t start = 0; start < order.size(); ++start) {
    if (order[start] == start) continue;
    Item held = std::move(items[start]);
    std::uint32_t at = start;
    while (order[at] != start) {
      const std::uint32_t from = order[at];
      items[at] = std::move(items[from]);
      order[at] = at;
      at = from;
    }
    items[at] = std::move(held);
    order[at] = at;
  }
  return static_cast<std::size_t>(sorted);
}

template <class Item, class Less>
void stableSortInPlace(std::vector<Item>& items, Less less) {
  stableSortInPlace(items, less, [](const Item&) { return false; });
}

}  // namespace dupsieve
