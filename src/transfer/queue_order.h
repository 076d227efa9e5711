#pragma once
// Moving the selected rows of a queue up, down, to the top or to the bottom:
// the moves (row id, index in the list at the time of that move) that turn
// the queue's order into the wanted one when made one after another, as
// TransferQueue::move makes them. The selected rows keep their order among
// themselves; a row already at the edge stays, and the others close up
// behind it.

#include <cstdint>
#include <utility>
#include <vector>

namespace tarnwick::transfer {

enum class Shift { Up, Down, Top, Bottom };

using RowMove = std::pair<std::uint64_t, std::size_t>;

// order: the row ids in queue order; selected: ids among them (any order;
// ids not in order are ignored). Empty when nothing moves.
std::vector<RowMove> plannedMoves(const std::vector<std::uint64_t>& order, const std::vector<std::uint64_t>& selected,
                                  Shift shift);

}  // namespace tarnwick::transfer
