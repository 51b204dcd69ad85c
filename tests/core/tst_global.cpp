#include <core/Global.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList kKeyedFields { "account", "pwd", "userID", "displayName", "token", "tenantID",
    "productCode", "projectService", "collaborationService", "vizHubApiService",
    "vizHubFileService", "cloudDomain", "userToken" };

struct ProbeRun
{
    QJsonObject fields;
    QStringList leftInWorkingDir;
};

// Runs the probe application with the arguments in an empty working folder and
// a private settings store.
ProbeRun runProbe(const QStringList& arguments, const QString& settingsDir, int calls = 1)
{
    QTemporaryDir workingDir;
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PROBE_SETTINGS_DIR", settingsDir);
    environment.insert("PROBE_CALLS", QString::number(calls));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    probe.setProcessEnvironment(environment);
    probe.setWorkingDirectory(workingDir.path());
    probe.start(GLOBAL_PROBE, arguments);
    ProbeRun run;
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0) {
        qWarning() << "probe failed:" << probe.readAllStandardError();
        return run;
    }
    run.fields = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
    run.leftInWorkingDir
        = QDir(workingDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    return run;
}

QString probeDir()
{
    return QFileInfo(GLOBAL_PROBE).canonicalPath();
}

QString probeParent()
{
    QDir dir(probeDir());
    dir.cdUp();
    return dir.absolutePath();
}

} // namespace

class TestGlobal : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_settings.isValid()); }

private:
    QTemporaryDir m_settings;

private slots:

    void initParams_data();
    void initParams();
    void workspaceRootComesFromTheSettingsStore();
    void tokenIsPrefixedOncePerCall();
    void destoryGivesAFreshEmptyInstance();
};

void TestGlobal::initParams_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QVariantMap>("expected"); // keyed fields that are not empty

    QTest::newRow("program only") << QStringList {} << false
                                  << QVariantMap { { "token", "Bearer " } };
    QTest::newRow("empty user identifier") << QStringList { "--userID=",
        "--account=a" } << false << QVariantMap { { "token", "Bearer " }, { "account", "a" } };
    QTest::newRow("keys differing in case fill nothing") << QStringList { "--userid=u1",
        "--USERID=u2", "--Token=t" } << false << QVariantMap { { "token", "Bearer " } };
    QTest::newRow("value keeps every = after the first")
        << QStringList { "--userID=u", "--token=abc==", "--projectService=http://h/?a=b" } << true
        << QVariantMap { { "userID", "u" }, { "token", "Bearer abc==" },
               { "projectService", "http://h/?a=b" } };
    QTest::newRow("later argument wins")
        << QStringList { "--userID=first", "--account=a", "--userID=second" } << true
        << QVariantMap { { "userID", "second" }, { "account", "a" }, { "token", "Bearer " } };
    QTest::newRow("first two characters dropped unexamined")
        << QStringList { "/-userID=slash", "xxaccount=x", "--displayName=Zhang San" } << true
        << QVariantMap { { "userID", "slash" }, { "account", "x" }, { "displayName", "Zhang San" },
               { "token", "Bearer " } };
    QTest::newRow("all thirteen keys")
        << QStringList { "--account=acc", "--pwd=secret", "--userID=42", "--displayName=dn",
               "--token=tok", "--tenantID=ten", "--productCode=pc", "--projectService=http://p",
               "--collaborationService=http://c", "--vizHubApiService=http://a",
               "--vizHubFileService=http://f", "--cloudDomain=cloud.example", "--userToken=ut" }
        << true
        << QVariantMap { { "account", "acc" }, { "pwd", "secret" }, { "userID", "42" },
               { "displayName", "dn" }, { "token", "Bearer tok" }, { "tenantID", "ten" },
               { "productCode", "pc" }, { "projectService", "http://p" },
               { "collaborationService", "http://c" }, { "vizHubApiService", "http://a" },
               { "vizHubFileService", "http://f" }, { "cloudDomain", "cloud.example" },
               { "userToken", "ut" } };
    QTest::newRow("unknown and malformed arguments are ignored")
        << QStringList { "--userID=u", "--unknown=1", "--noequals", "=x", "a=b", "-", "" } << true
        << QVariantMap { { "userID", "u" }, { "token", "Bearer " } };
}

void TestGlobal::initParams()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, result);
    QFETCH(QVariantMap, expected);

    const ProbeRun run = runProbe(arguments, m_settings.path());
    QVERIFY(!run.fields.isEmpty());
    QCOMPARE(run.fields.value("result").toBool(), result);
    for (const QString& field : kKeyedFields)
        QCOMPARE(run.fields.value(field).toString(), expected.value(field).toString());

    if (result) {
        // No "WorkSpace" in the store: the parent of the application folder.
        QCOMPARE(run.fields.value("appDir").toString(), probeDir() + "/");
        QCOMPARE(run.fields.value("dataDir").toString(), probeParent() + "/Data/");
        QCOMPARE(run.fields.value("workspaceRoot").toString(), probeParent() + "/");
    } else {
        for (const char* field : { "appDir", "dataDir", "workspaceRoot" })
            QCOMPARE(run.fields.value(field).toString(), QString("untouched"));
    }
    // The settings store must never become a file named after the registry key.
    QCOMPARE(run.leftInWorkingDir, QStringList {});
}

void TestGlobal::workspaceRootComesFromTheSettingsStore()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, m_settings.path());
    {
        QSettings store(
            QSettings::NativeFormat, QSettings::SystemScope, "Korvane", "Plenar_Lanucher");
        store.setValue("WorkSpace", "C:\\Work Space\\");
        store.sync();
        QCOMPARE(store.status(), QSettings::NoError);
    }
    const ProbeRun run = runProbe({ "--userID=u" }, m_settings.path());
    QVERIFY(run.fields.value("result").toBool());
    // The stored text is used unchanged, separators and trailing one included.
    QCOMPARE(run.fields.value("workspaceRoot").toString(), QString("C:\\Work Space\\/"));
    QCOMPARE(run.fields.value("dataDir").toString(), probeParent() + "/Data/");
    QCOMPARE(run.leftInWorkingDir, QStringList {});
}

void TestGlobal::tokenIsPrefixedOncePerCall()
{
    const ProbeRun run = runProbe({ "--userID=u", "--token=abc" }, m_settings.path(), 2);
    QCOMPARE(run.fields.value("token").toString(), QString("Bearer abc"));
}

void TestGlobal::destoryGivesAFreshEmptyInstance()
{
    Global* first = Singleton<Global>::instance();
    QCOMPARE(Singleton<Global>::instance(), first);
    first->m_projectId = 7;
    first->m_projectVersion = 9;
    first->m_userID = "u";
    first->m_projectPath = "/p";
    first->m_token = "Bearer x";

    Singleton<Global>::destory();
    Global* fresh = Singleton<Global>::instance();
    QCOMPARE(fresh->m_projectId, qint64(0));
    QCOMPARE(fresh->m_projectVersion, qint64(0));
    QVERIFY(fresh->m_userID.isNull());
    QVERIFY(fresh->m_projectPath.isNull());
    QVERIFY(fresh->m_token.isNull());
    QVERIFY(fresh->m_appDir.isNull());
    QVERIFY(!Global::s_pProgressBar);
    Singleton<Global>::destory();
}

QTEST_GUILESS_MAIN(TestGlobal)
#include "tst_global.moc"
