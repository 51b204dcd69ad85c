#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs a program (the demo host, or the demo script) to its end while this
// thread's event loop keeps turning, so that a test server living on it can
// answer the program's requests.
class HostProcess
{
public:
    struct Result
    {
        bool finished = false; // false: it did not start, crashed or ran out of time
        int exitCode = -1;
        QString out;
        QString err;
    };

    // An environment with a private runtime folder and the central store at
    // `centralStore` (may be empty).
    explicit HostProcess(const QString& centralStore = QString());

    void setEnvironment(const QString& name, const QString& value);
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 120000);

    // Puts a revision of the sample project ("store-r1", "store-r2") into the
    // central store `store`, replacing what it held.
    static bool copySampleStore(const QString& revision, const QString& store);
    // The host's command line for the sample project in `folder`, signed in.
    static QStringList projectArguments(const QString& command, const QString& folder,
        const QString& key = QStringLiteral(SAMPLE_KEY));

private:
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment;
};
