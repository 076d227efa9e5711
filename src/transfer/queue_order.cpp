#include "transfer/queue_order.h"

#include <algorithm>
#include <unordered_set>

namespace tarnwick::transfer {

namespace {

// The wanted order: selected rows move one place (Up, Down) past an
// unselected neighbour, or all together to an end (Top, Bottom).
std::vector<std::uint64_t> wantedOrder(std::vector<std::uint64_t> order, const std::unordered_set<std::uint64_t>& picked,
                                       Shift shift) {
  const auto isPicked = [&](std::uint64_t id) { return picked.count(id) > 0; };
  switch (shift) {
    case Shift::Top:
      std::stable_partition(order.begin(), order.end(), isPicked);
      break;
    case Shift::Bottom:
      std::stable_partition(order.begin(), order.end(), [&](std::uint64_t id) { return !isPicked(id); });
      break;
    case Shift::Up:
      // A selected row swaps with the unselected row above it; a run of
      // selected rows at the top stays.
      for (std::size_t i = 1; i < order.size(); ++i)
        if (isPicked(order[i]) && !isPicked(order[i - 1])) std::swap(order[i], order[i - 1]);
      break;
    case Shift::Down:
      for (std::size_t i = order.size(); i-- > 1;)
        if (isPicked(order[i - 1]) && !isPicked(order[i])) std::swap(order[i], order[i - 1]);
      break;
  }
  return order;
}

}  // namespace

std::vector<RowMove> plannedMoves(const std::vector<std::uint64_t>& order, const std::vector<std::uint64_t>& selected,
                                  Shift shift) {
  const std::unordered_set<std::uint64_t> picked(selected.begin(), selected.end());
  const std::vector<std::uint64_t> wanted = wantedOrder(order, picked, shift);
  // Only selected rows move; the others keep their order. Rows that go up
  // are placed from the top down, rows that go down from the bottom up, so
  // a row not placed yet never stands between a placed row and its place.
  std::vector<std::size_t> targets;
  for (std::size_t i = 0; i < wanted.size(); ++i)
    if (picked.count(wanted[i])) targets.push_back(i);
  if (shift == Shift::Down || shift == Shift::Bottom) std::reverse(targets.begin(), targets.end());
  std::vector<std::uint64_t> now = order;
  std::vector<RowMove> moves;
  for (std::size_t to : targets) {
    const std::uint64_t id = wanted[to];
    if (now[to] == id) continue;
    now.erase(std::find(now.begin(), now.end(), id));
    now.insert(now.begin() + static_cast<std::ptrdiff_t>(to), id);
    moves.emplace_back(id, to);
  }
  return moves;
}

}  // namespace tarnwick::transfer
