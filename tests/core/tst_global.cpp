#include "ChildProcess.h"

#include <bimcore/core/Global.h>

#include <QtTest>

namespace {

const QStringList kKeyedFields { "account", "pwd", "userID", "displayName", "token", "tenantID",
    "productCode", "projectService", "collaborationService", "vizHubApiService",
    "vizHubFileService", "cloudDomain", "userToken" };

} // namespace

class TestGlobal : public QObject
{
    Q_OBJECT

private slots:
    void initParams_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("settingsFile"); // none if empty
        // The keyed fields ("token" is "Bearer " unless given) and the "workspace"
        // root read from the settings.
        QTest::addColumn<QVariantMap>("expected");

        QTest::newRow("empty user identifier")
            << QStringList { "--userID=", "--account=a" } << "" << QVariantMap { { "account", "a" } };
        // Keys are matched exactly after two characters that are not examined;
        // the value is all after the first "=", and a later argument wins.
        QTest::newRow("how arguments are read")
            << QStringList { "/-userID=first", "xxaccount=x",
                   "--token=abc==", "--projectService=http://h/?a=b", "--userID=second",
                   "--userid=u1", "--USERID=u2", "--Token=t", "--unknown=1", "--noequals", "=x",
                   "a=b", "-", "" }
            << "" << QVariantMap { { "userID", "second" }, { "account", "x" },
                   { "token", "Bearer abc==" }, { "projectService", "http://h/?a=b" } };
        QStringList allKeys;
        QVariantMap allValues;
        for (const QString& key : kKeyedFields) {
            allKeys << "--" + key + "=" + key + " value";
            allValues[key] = (key == "token" ? "Bearer " : "") + key + " value";
        }
        QTest::newRow("all thirteen keys") << allKeys << "" << allValues;
        // The stored text is used unchanged, separators and trailing one included.
        QTest::newRow("workspace root from the settings store")
            << QStringList { "--userID=u" } << "[General]\nWorkSpace=\"C:\\\\Work Space\\\\\"\n"
            << QVariantMap { { "userID", "u" }, { "workspace", "C:\\Work Space\\" } };
#ifdef Q_OS_WIN
        // The launcher writes the registry in UTF-16: any script, blanks included.
        QTest::newRow("workspace root in CJK with blanks")
            << QStringList { "--userID=u" } << "registry"
            << QVariantMap { { "userID", "u" }, { "workspace", "D:\\工作 空间\\项目 一" } };
#endif
        // Qt reads an unquoted value with a comma as a list.
        QTest::newRow("workspace root with a comma, written by hand")
            << QStringList { "--userID=u" } << "[General]\nWorkSpace = /data/a, b\n"
            << QVariantMap { { "userID", "u" }, { "workspace", "/data/a, b" } };
    }

    void initParams()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, settingsFile);
        QFETCH(QVariantMap, expected);
        const bool result = !expected.value("userID").toString().isEmpty();

        QTemporaryDir settings;
        QTemporaryDir workingDir;
        const QString workspace = expected.value("workspace").toString();
#ifdef Q_OS_WIN
        // The launcher's own key in the registry (Wine's, a prefix of the test's own).
        QSettings registry(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Plenar_Lanucher", QSettings::NativeFormat);
        registry.remove("WorkSpace");
        if (!settingsFile.isEmpty())
            registry.setValue("WorkSpace", workspace);
        registry.sync();
        QCOMPARE(registry.status(), QSettings::NoError);
        const auto cleanUp = qScopeGuard([&] { registry.remove("WorkSpace"); });
#else
        if (!settingsFile.isEmpty()) {
            QVERIFY(QDir(settings.path()).mkpath("Korvane"));
            QFile file(settings.filePath("Korvane/Plenar_Lanucher.conf"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(settingsFile.toUtf8()) > 0);
        }
#endif
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PROBE_SETTINGS_DIR", settings.path());
        environment.insert("PROBE_CALLS", "2"); // the token is prefixed once all the same
        const ChildRun probe = runChild(GLOBAL_PROBE, arguments, environment, workingDir.path());
        QVERIFY2(probe.exitCode == 0, qPrintable(probe.err));
        const QJsonObject fields = QJsonDocument::fromJson(probe.out.toUtf8()).object();

        QCOMPARE(fields.value("result").toBool(), result);
        for (const QString& field : kKeyedFields) {
            const QString fallback = field == "token" ? "Bearer " : "";
            QCOMPARE(fields.value(field).toString(), expected.value(field, fallback).toString());
        }
        const QString appDir = QFileInfo(GLOBAL_PROBE).canonicalPath();
        const QString parent = QFileInfo(appDir).path();
        QCOMPARE(fields.value("appDir").toString(), result ? appDir + "/" : "untouched");
        QCOMPARE(fields.value("dataDir").toString(), result ? parent + "/Data/" : "untouched");
        QCOMPARE(fields.value("workspaceRoot").toString(),
            result ? (workspace.isEmpty() ? parent : workspace) + "/" : "untouched");
        // The settings store must never become a file named after the registry key.
        QCOMPARE(QDir(workingDir.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList {});
    }
};

QTEST_GUILESS_MAIN(TestGlobal)
#include "tst_global.moc"
