#pragma once

// Small file trees for tests that create, copy or delete folders.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace FileTree {

// Creates a file (and its folders) below root; a name ending in "/" makes a folder.
inline bool make(const QString& root, const QString& relative)
{
    const QString path = root + "/" + relative;
    if (relative.endsWith('/'))
        return QDir().mkpath(path);
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write("content") == 7;
}

inline bool makeAll(const QString& root, const QStringList& entries)
{
    for (const QString& entry : entries) {
        if (!make(root, entry))
            return false;
    }
    return true;
}

// A symbolic link at `at` to `target`, absolute or relative to the link's
// folder. Windows makes one only in developer mode or with the privilege,
// and Wine none at all, though it says it did: the link is looked for.
inline bool makeLink(const QString& target, const QString& at)
{
#ifdef Q_OS_WIN
    const bool folder = QFileInfo(QFileInfo(at).dir(), target).isDir();
    // The long form, which takes paths beyond MAX_PATH.
    const std::wstring link = L"\\\\?\\"
        + QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(at).absoluteFilePath())).toStdWString();
    const DWORD attributes
        = CreateSymbolicLinkW(link.c_str(), QDir::toNativeSeparators(target).toStdWString().c_str(),
              SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
                  | (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0))
        ? GetFileAttributesW(link.c_str())
        : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    return QFile::link(target, at);
#endif
}

// Whether makeLink works here, tried in the folder `scratch`.
inline bool linksWork(const QString& scratch)
{
    const QString probe = scratch + "/link-probe";
    const bool made = makeLink(scratch, probe);
    if (!QFile::remove(probe))
        QDir().rmdir(probe);
    return made;
}

constexpr const char* kNoLinks = "no symbolic link can be made here: Windows makes them only in "
                                 "developer mode or with the privilege, Wine not at all";

} // namespace FileTree
