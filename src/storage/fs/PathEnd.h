#pragma once

#include "UniqueFd.h"

#include <QByteArray>

namespace fs {

/**
 * @brief A path cut before its last component, the folder holding it opened
 *        as the system resolves it ("a/link/../b" is "b" in the folder above
 *        the link's target), so the last component is then reached once,
 *        relative to that descriptor.
 */
struct PathEnd
{
    /** The folder holding the last component, open for search only; invalid
     *  when it cannot be opened (errno tells why). */
    UniqueFd parent;
    /** The last component, trailing separators dropped; empty when the path
     *  names the root ("/", "//"), "." or ".." when the path ends so. */
    QByteArray name;

    /**
     * @brief Cuts and opens the path.
     * @param path an encoded (QFile::encodeName) path, absolute or relative
     *        to the current folder; not empty.
     * @return the opened end; when name is empty, parent is not opened.
     * @throws nothing (std::bad_alloc aside). Any thread.
     */
    static PathEnd open(const QByteArray& path);
};

} // namespace fs
