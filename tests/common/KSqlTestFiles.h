#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <string>

// An empty file is a valid, empty SQLite database, so tests can make their
// databases through the wrapper itself (which never creates files).
inline QString createEmptyDatabaseFile(const QTemporaryDir& dir, const QString& name = "test.db")
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
    return path;
}

inline std::string utf8(const QString& text)
{
    return text.toStdString();
}
