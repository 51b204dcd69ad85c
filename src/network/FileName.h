#pragma once

#include <QString>

#include <optional>

namespace network_detail {

// The hidden folder beside a download's target that holds its parts,
// records and locks; no announced name may reach it.
extern const QString kBookkeepingFolder;

// The name a "Content-Disposition" header text announces. A "filename*"
// parameter gives it, decoded, and none at all when it cannot be decoded;
// without one, the text after the first "filename=", double quotes removed.
// Empty when it announces none.
std::optional<QString> announcedName(const QString& contentDisposition);

// Whether `name` may become the last part `lastPart` of a target path: it
// stays in its folder, holds no NUL, control, format or separator character
// that would show it as other than it is, is no name of the download's own
// bookkeeping, is no longer than the file system takes, and is one a Windows
// machine can hold, so that a project folder synced there stays valid.
bool acceptableName(const QString& name, const QString& lastPart);

} // namespace network_detail
