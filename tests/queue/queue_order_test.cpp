// Moving selected rows: the planned moves, made one after another as the
// queue makes them, give the wanted order, and rows already in place stay.
#include "transfer/queue_order.h"

#include <gtest/gtest.h>

#include <algorithm>

using tarnwick::transfer::plannedMoves;
using tarnwick::transfer::Shift;
using Ids = std::vector<std::uint64_t>;

namespace {

// TransferQueue::move: out of the list, then in at position (clamped).
Ids applied(Ids order, const std::vector<tarnwick::transfer::RowMove>& moves) {
  for (const auto& [id, position] : moves) {
    const auto it = std::find(order.begin(), order.end(), id);
    if (it == order.end()) continue;
    order.erase(it);
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(std::min(position, order.size())), id);
  }
  return order;
}

}  // namespace

TEST(QueueOrder, SelectedRowsMoveTogetherAndOthersKeepTheirOrder) {
  struct Case {
    Shift shift;
    Ids selected;
    Ids want;
    std::size_t moves;
  };
  const Ids order{1, 2, 3, 4, 5, 6};
  const Case cases[] = {
      {Shift::Up, {3}, {1, 3, 2, 4, 5, 6}, 1},
      {Shift::Up, {1}, {1, 2, 3, 4, 5, 6}, 0},
      {Shift::Up, {1, 2, 4}, {1, 2, 4, 3, 5, 6}, 1},
      {Shift::Up, {3, 4, 6}, {1, 3, 4, 2, 6, 5}, 3},
      {Shift::Down, {4}, {1, 2, 3, 5, 4, 6}, 1},
      {Shift::Down, {6, 5}, {1, 2, 3, 4, 5, 6}, 0},
      {Shift::Down, {1, 2}, {3, 1, 2, 4, 5, 6}, 2},
      {Shift::Down, {1, 3, 5}, {2, 1, 4, 3, 6, 5}, 3},
      {Shift::Top, {5, 3}, {3, 5, 1, 2, 4, 6}, 2},
      {Shift::Top, {1, 2}, {1, 2, 3, 4, 5, 6}, 0},
      {Shift::Bottom, {1, 2}, {3, 4, 5, 6, 1, 2}, 2},
      {Shift::Bottom, {2, 5}, {1, 3, 4, 6, 2, 5}, 2},
      {Shift::Bottom, {6}, {1, 2, 3, 4, 5, 6}, 0},
      {Shift::Top, {9}, {1, 2, 3, 4, 5, 6}, 0},  // not in the queue (removed meanwhile)
      {Shift::Up, {}, {1, 2, 3, 4, 5, 6}, 0},
  };
  for (const Case& c : cases) {
    const auto moves = plannedMoves(order, c.selected, c.shift);
    EXPECT_EQ(applied(order, moves), c.want) << static_cast<int>(c.shift) << " " << c.selected.size();
    EXPECT_EQ(moves.size(), c.moves) << static_cast<int>(c.shift) << " " << c.selected.size();
  }
}

// Every selection of a larger queue, each way: the moves give the order the
// shift means (checked by its definition, not by the planner).
TEST(QueueOrder, EverySelectionOfEightRowsEachWay) {
  Ids order(8);
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = 10 + i;
  for (unsigned mask = 0; mask < 256; ++mask) {
    Ids picked;
    for (std::size_t i = 0; i < 8; ++i)
      if (mask & (1u << i)) picked.push_back(order[i]);
    const auto isPicked = [&](std::uint64_t id) { return std::count(picked.begin(), picked.end(), id) > 0; };
    Ids top = order, bottom = order;
    std::stable_partition(top.begin(), top.end(), isPicked);
    std::stable_partition(bottom.begin(), bottom.end(), [&](std::uint64_t id) { return !isPicked(id); });
    EXPECT_EQ(applied(order, plannedMoves(order, picked, Shift::Top)), top) << mask;
    EXPECT_EQ(applied(order, plannedMoves(order, picked, Shift::Bottom)), bottom) << mask;
    // Up then Down (or the other way) returns a selection that stood apart
    // from both ends to where it was.
    if (!(mask & 1u) && !(mask & 128u)) {
      const Ids up = applied(order, plannedMoves(order, picked, Shift::Up));
      EXPECT_EQ(applied(up, plannedMoves(up, picked, Shift::Down)), order) << mask;
      for (std::size_t i = 0; i < 8; ++i)
        if (isPicked(order[i])) EXPECT_EQ(up[i - 1], order[i]) << mask;
    }
  }
}
