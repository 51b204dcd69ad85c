#pragma once

#include "TreeWalk.h"

#include <utility>

namespace fs {

// The order every walk keeps, on every system: the deepest folder's listed
// entries one by one (a folder among them entered), then that folder listed
// again, and once a listing brings back nothing new, back up to the folder
// above. `walk` gives list(level), remove(entry) and leave(emptied), false
// when the folder above cannot be reached again.
template <class Walk, class Levels> Walked walkInOrder(Walk& walk, Levels& levels)
{
    for (;;) {
        auto& level = levels.back();
        if (!level.pending.empty()) {
            const auto entry = std::move(level.pending.back());
            level.pending.pop_back();
            walk.remove(entry);
            continue;
        }
        const bool any = walk.list(level);
        if (any && !level.pending.empty())
            continue;
        // Every entry gone (true), or only ones that would not go.
        if (levels.size() == 1)
            return any ? Walked::Remains : Walked::Emptied;
        if (!walk.leave(!any))
            return Walked::Remains;
    }
}

} // namespace fs
