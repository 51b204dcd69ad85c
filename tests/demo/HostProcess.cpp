#include "HostProcess.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

HostProcess::HostProcess(const QString& centralStore)
    : m_environment(QProcessEnvironment::systemEnvironment())
{
    // Qt complains on standard error when the runtime folder is not set.
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The leak checker of a sanitizer build lists the suppressions it used on
    // standard error, which the tests read as the host's own.
    const QString leakOptions = m_environment.value(QStringLiteral("LSAN_OPTIONS"));
    if (!leakOptions.isEmpty())
        m_environment.insert(
            QStringLiteral("LSAN_OPTIONS"), leakOptions + QStringLiteral(":print_suppressions=0"));
    if (centralStore.isEmpty())
        m_environment.remove(QStringLiteral("BIMCORE_CENTRAL_STORE"));
    else
        m_environment.insert(QStringLiteral("BIMCORE_CENTRAL_STORE"), centralStore);
}

void HostProcess::setEnvironment(const QString& name, const QString& value)
{
    m_environment.insert(name, value);
}

HostProcess::Result HostProcess::run(
    const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    QEventLoop loop;
    QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
        &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    if (process.state() != QProcess::NotRunning)
        loop.exec();

    Result result;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    } else {
        result.finished = process.exitStatus() == QProcess::NormalExit
            && process.error() != QProcess::FailedToStart;
        result.exitCode = process.exitCode();
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

bool HostProcess::copySampleStore(const QString& revision, const QString& store)
{
    const QString source = QStringLiteral(SAMPLES_DIR "/%1/" SAMPLE_KEY "/").arg(revision);
    const QString target = store + QStringLiteral("/" SAMPLE_KEY "/");
    QDir().mkpath(target);
    for (const char* name : { "KBMProjectTemplate.Tessel", "KBMProjectTemplate.db" }) {
        QFile::remove(target + QLatin1String(name));
        if (!QFile::copy(source + QLatin1String(name), target + QLatin1String(name)))
            return false;
    }
    return true;
}

QStringList HostProcess::projectArguments(
    const QString& command, const QString& folder, const QString& key)
{
    return { command, QStringLiteral("--userID=u-1"), QStringLiteral("--token=tok"),
        QStringLiteral("--projectId=" SAMPLE_ID), QStringLiteral("--projectKey=") + key,
        QStringLiteral("--projectPath=") + folder };
}
