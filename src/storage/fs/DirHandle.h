#pragma once

#include "UniqueFd.h"

#include <memory>

#include <dirent.h>

namespace fs {

struct DirCloser
{
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};
// An open folder listing, closed with its descriptor when it goes.
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Takes over the descriptor of an open folder; null (and the descriptor
// closed) when no listing can be made from it.
inline DirHandle listingOf(UniqueFd folder)
{
    DirHandle dir(fdopendir(folder.get()));
    if (dir)
        folder.release();
    return dir;
}

} // namespace fs
