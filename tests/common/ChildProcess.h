#pragma once

// Runs a program of the test (a tool, the host, a probe) to its end.

#include <QProcess>
#include <QTest>

struct ChildRun
{
    int exitCode = -1; // -1: it did not start, crashed or ran out of time
    QString out;
    QString err;
};

// This thread's events go on meanwhile, so that a test server made on it can
// answer the program; after two minutes the program is killed.
inline ChildRun runChild(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    const QString& workingDir = QString())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDir);
    process.start(program, arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000))
        return {}; // QProcess kills it on the way out
    const bool normal = process.exitStatus() == QProcess::NormalExit
        && process.error() != QProcess::FailedToStart;
    return { normal ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()) };
}
