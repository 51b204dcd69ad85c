#pragma once

#include <bimcore/storage/fs/UniqueFd.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <optional>

namespace network_detail {

// The digest of the whole file a server announces: "Repr-Digest" with
// sha-256 or sha-512, or "Digest: SHA-256=" in base64 or hex.
struct ContentDigest
{
    QCryptographicHash::Algorithm algorithm = QCryptographicHash::Sha256;
    QByteArray value; // raw bytes

    // Reads one header line; keeps the strongest digest seen. A header that
    // names a known algorithm with a value that is no digest of it makes the
    // whole reply refused (`malformed`).
    void read(const QByteArray& name, const QByteArray& value);
    bool announced() const { return !this->value.isEmpty(); }
    bool malformed = false;

    // Whether the file's bytes from its start hash to the value.
    bool matches(const UniqueFd& file) const;
};

} // namespace network_detail
