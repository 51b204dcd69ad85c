#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// What the user asked the host to do. The launch parameters themselves are
// read by Global::initParams from the same arguments; this class only checks
// that they are written as --key=value, and reads everything else: the
// command, its arguments, the project's identity and folders and the options.
class HostCommandLine
{
public:
    enum class Command
    {
        Help,
        Version,
        Open,
        Update,
        Get,
        Post,
        Download,
        Workspace,
    };

    // Throws HostError (exit code 2) with a one-line message when the
    // arguments (the program's name first) make no sense.
    static HostCommandLine parse(const QStringList& arguments);

    // The text --help prints.
    static QString helpText();

    Command command() const { return m_command; }
    // The command's own arguments, in order (URL, folder, sub-command...).
    const QStringList& arguments() const { return m_arguments; }

    qint64 projectId() const { return m_projectId; }
    const QString& projectKey() const { return m_projectKey; }
    const QString& projectPath() const { return m_projectPath; }
    const QString& projectCacheDir() const { return m_projectCacheDir; }

    bool gui() const { return m_gui; }
    const QString& screenshot() const { return m_screenshot; }
    bool hasAuthorization() const { return m_hasAuthorization; }
    const QString& authorization() const { return m_authorization; }
    const QString& bodyFile() const { return m_bodyFile; }

private:
    Command m_command = Command::Help;
    QStringList m_arguments;
    qint64 m_projectId = 0;
    QString m_projectKey;
    QString m_projectPath;
    QString m_projectCacheDir;
    bool m_gui = false;
    QString m_screenshot;
    bool m_hasAuthorization = false;
    QString m_authorization;
    QString m_bodyFile;
};
