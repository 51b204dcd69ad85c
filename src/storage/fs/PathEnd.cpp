#ifndef _WIN32

#include "PathEnd.h"

#include <fcntl.h>

namespace fs {

// The folder above is only searched, never listed, and O_PATH asks no read
// permission for that, as going by path would not.
#ifdef O_PATH
constexpr int kSearchOnly = O_PATH;
#else
constexpr int kSearchOnly = O_RDONLY;
#endif

PathEnd PathEnd::open(const QByteArray& path)
{
    QByteArray whole = path;
    while (whole.size() > 1 && whole.endsWith('/'))
        whole.chop(1);
    PathEnd end;
    const int slash = whole.lastIndexOf('/');
    end.name = whole.mid(slash + 1);
    if (end.name.isEmpty())
        return end;
    const QByteArray parentPath = slash < 0 ? QByteArray(".")
        : slash == 0                        ? QByteArray("/")
                                            : whole.left(slash);
    end.parent.reset(::open(parentPath.constData(), kSearchOnly | O_DIRECTORY | O_CLOEXEC));
    return end;
}

} // namespace fs

#endif
