#pragma once

#include <QString>

class HostProject;

// The readable summary of an open project: where it is, its workspace, every
// model and SQLite table with its size, the change record of the last update
// and whether the host must rebuild its model, and some display names of
// element types and specialties.
class ProjectReport
{
public:
    // How the project came to be open, in a few words.
    ProjectReport(HostProject& project, QString howOpened);

    void print() const;

    // "label" and then the items, separated by commas and wrapped under the
    // first one so that no line runs past `width` characters.
    static QString wrappedList(const QString& label, const QStringList& items, int width = 78);

private:
    QStringList modelTables() const;
    QStringList sqliteTables() const;
    QStringList changes() const;
    QStringList elementTypes() const;
    QStringList specialties() const;
    QString projectName() const;

    HostProject& m_project;
    QString m_howOpened;
};
