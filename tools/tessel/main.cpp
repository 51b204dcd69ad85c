// tessel: builds model files from JSON, dumps them as JSON and generates
// synthetic project folders.
#include "HostSystem.h"
#include "ModelJson.h"
#include "ProjectGenerator.h"

#include <bimcore/core/Version.h>
#include <bimcore/platform/tessel/Tessel.h>

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

const char usage[] = "usage:\n"
                     "  bimcore-tessel build IN.json OUT.Tessel\n"
                     "  bimcore-tessel dump IN.Tessel\n"
                     "  bimcore-tessel gen --records N [--tables T] [--converted] OUT_FOLDER\n"
                     "  bimcore-tessel --help | --version\n";

int usageError(const QString& message)
{
    std::fprintf(stderr, "bimcore-tessel: %s\n%s", qUtf8Printable(message), usage);
    return 2;
}

int build(const QString& input, const QString& output)
{
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bimcore-tessel: cannot read \"%s\": %s\n", qUtf8Printable(input),
            qUtf8Printable(file.errorString()));
        return 1;
    }
    const QByteArray json = file.readAll();
    try {
        const TesselModel model = ModelJson::fromJson(json);
        TesselModelPersistent(model).saveToFile(output);
    } catch (const ModelJson::Error& e) {
        std::fprintf(stderr, "bimcore-tessel: %s: %s\n", qUtf8Printable(input), e.what());
        return 1;
    }
    return 0;
}

int dump(const QString& input)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(input, false, true);
    const QByteArray json = ModelJson::toJson(model);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int generate(const QStringList& arguments)
{
    ProjectGenerator::Options options;
    QString folder;
    bool haveRecords = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--converted")) {
            options.converted = true;
        } else if (argument == QLatin1String("--records")
            || argument == QLatin1String("--tables")) {
            bool ok = false;
            const qint64 value = i + 1 < arguments.size() ? arguments[i + 1].toLongLong(&ok) : 0;
            if (!ok || value < 1)
                return usageError(QStringLiteral("%1 needs a positive number").arg(argument));
            if (argument == QLatin1String("--records")) {
                options.records = value;
                haveRecords = true;
            } else {
                if (value > 100000)
                    return usageError(QStringLiteral("--tables is at most 100000"));
                options.tables = int(value);
            }
            ++i;
        } else if (argument.startsWith(QLatin1String("--")) || !folder.isEmpty()) {
            return usageError(QStringLiteral("unexpected argument \"%1\"").arg(argument));
        } else {
            folder = argument;
        }
    }
    if (!haveRecords || folder.isEmpty())
        return usageError(QStringLiteral("gen needs --records N and an output folder"));
    ProjectGenerator::writeProject(folder, options);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    HostSystem::plainLineEnds();
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    const QString command = arguments.value(0);
    if (arguments.size() == 1 && (command == QLatin1String("--help") || command == QLatin1String("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (arguments.size() == 1 && command == QLatin1String("--version")) {
        std::puts("bimcore-tessel " BIMCORE_VERSION_STRING);
        return 0;
    }
    try {
        if (command == QLatin1String("build") && arguments.size() == 3)
            return build(arguments[1], arguments[2]);
        if (command == QLatin1String("dump") && arguments.size() == 2)
            return dump(arguments[1]);
        if (command == QLatin1String("gen"))
            return generate(arguments.mid(1));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bimcore-tessel: %s\n", e.what());
        return 1;
    }
    return usageError(command.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("unknown command or wrong arguments: %1")
                                              .arg(arguments.join(QLatin1Char(' '))));
}
