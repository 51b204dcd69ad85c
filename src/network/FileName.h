#pragma once

#include <QString>

namespace network_detail {

// The hidden folder beside a download's target that holds its parts,
// records and locks; no announced name may reach it.
extern const QString kBookkeepingFolder;

// The name a "Content-Disposition" header text announces: the text after
// the first "filename=", double quotes removed. Empty when it has none.
QString announcedName(const QString& contentDisposition);

// Whether `name` may become the last part `lastPart` of a target path: it
// stays in its folder, holds no NUL or control character, is no name of the
// download's own bookkeeping, and is one a Windows machine can hold, so that
// a project folder synced there stays valid.
bool acceptableName(const QString& name, const QString& lastPart);

} // namespace network_detail
