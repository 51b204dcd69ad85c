#include "NetworkCommands.h"

#include "Console.h"
#include "HostCommandLine.h"
#include "HostError.h"
#include "TerminalProgress.h"

#include <bimcore/network/HttpRequest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>

namespace {

void printJson(const QJsonObject& object)
{
    Console::raw(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

QJsonObject readBody(const HostCommandLine& commandLine)
{
    QByteArray text = "{}";
    QString source = QStringLiteral("the body");
    if (!commandLine.bodyFile().isEmpty()) {
        QFile file(commandLine.bodyFile());
        if (!file.open(QIODevice::ReadOnly))
            throw HostError(QStringLiteral("cannot read \"%1\": %2")
                                .arg(commandLine.bodyFile(), file.errorString()));
        text = file.readAll();
        source = QStringLiteral("\"%1\"").arg(commandLine.bodyFile());
    } else if (commandLine.arguments().size() > 1) {
        text = commandLine.arguments().at(1).toUtf8();
    }
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        throw HostError(QStringLiteral("%1 is no JSON: %2 at offset %3")
                            .arg(source, error.errorString())
                            .arg(error.offset),
            HostError::Misused);
    if (!document.isObject())
        throw HostError(QStringLiteral("%1 must be a JSON object").arg(source), HostError::Misused);
    return document.object();
}

} // namespace

void runGet(const HostCommandLine& commandLine)
{
    const QString& url = commandLine.arguments().at(0);
    printJson(commandLine.hasAuthorization()
            ? HttpRequest::HttpGet(url, commandLine.authorization())
            : HttpRequest::HttpGet(url));
}

void runPost(const HostCommandLine& commandLine)
{
    const QJsonObject body = readBody(commandLine);
    printJson(HttpRequest::HttpPost(body, commandLine.arguments().at(0)));
}

void runDownload(const HostCommandLine& commandLine)
{
    const QString& url = commandLine.arguments().at(0);
    const QString folder
        = QDir::cleanPath(QFileInfo(commandLine.arguments().at(1)).absoluteFilePath());
    if (!QFileInfo(folder).isDir())
        throw HostError(QStringLiteral("no folder \"%1\" to download into")
                            .arg(QDir::toNativeSeparators(folder)));
    TerminalProgress bar(Console::progressIsTerminal());
    const QString written = [&] {
        const ProgressDisplay::Current current(bar);
        HttpRequest::setDownloadProgress(ProgressDisplay::downloadCallback());
        const auto stopProgress = qScopeGuard([] { HttpRequest::setDownloadProgress(nullptr); });
        // The library appends the server's file name to the folder as it is.
        return HttpRequest::httpDownload(url, folder + QLatin1Char('/'));
    }();
    bar.finish();
    if (written.isEmpty())
        throw HostError(QStringLiteral("nothing was downloaded from %1: the request failed or "
                                       "the file could not be written into \"%2\"")
                            .arg(url, QDir::toNativeSeparators(folder)));
    Console::line(QStringLiteral("Downloaded %1 (%2 bytes)")
                      .arg(QDir::toNativeSeparators(written))
                      .arg(QFileInfo(written).size()));
}
