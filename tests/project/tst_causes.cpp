// Why a call failed, where a developer looks: the library's logging
// categories, when the host turns them on, and nothing in the log otherwise.

#include "MiniHttpServer.h"
#include "ProjectFolders.h"
#include "Raised.h"
#include "RegisteredProject.h"
#include "ScriptedCentralService.h"

#include <bimcore/core/Global.h>
#include <bimcore/network/HttpRequest.h>
#include <bimcore/storage/ElementType.h>
#include <bimcore/storage/FileHandler.h>


#include <QApplication>
#include <QtTest>

#include <functional>
#include <memory>

using namespace PlatformSvcComm;
using namespace ProjectFolders;

namespace {

const QString kNoServer = QStringLiteral("http://127.0.0.1:1/api");
QStringList* g_logged = nullptr;

void capture(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    g_logged->append(QString::fromLatin1(context.category ? context.category : "") + ": " + text);
}

// What a failing call logs while it runs, each line "category: text",
// exceptions swallowed.
QStringList loggedBy(const std::function<void()>& call)
{
    QStringList logged;
    g_logged = &logged;
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    try {
        call();
    } catch (const std::exception&) {
    }
    qInstallMessageHandler(previous);
    g_logged = nullptr;
    return logged;
}

} // namespace

using Failure = std::function<void(const QString& folder)>;
Q_DECLARE_METATYPE(Failure)

class CausesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;

    Global& global() { return *Singleton<Global>::instance(); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_folder = m_dir->filePath("项目 P-1");
        global().m_projectPath = m_folder;
        global().m_projectCacheDir = m_dir->filePath("cache");
        new RegisteredProject();
    }

    void cleanup()
    {
        QLoggingCategory::setFilterRules(QString());
        Project::destory();
        GetPlatformCommunicationNexus()->SetCentralService(nullptr);
    }

    void failuresLogTheirCause_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QStringList>("named"); // "%1" stands for the project folder

        QTest::newRow("launch without a user")
            << Failure([this](const QString&) {
                   QVERIFY(!global().initParams(*qApp));
               })
            << "bimcore.core" << QStringList { "\"userID\"", "first two characters" };
        QTest::newRow("open of a folder without its database")
            << Failure([](const QString& folder) {
                   writeProject(folder);
                   QFile::remove(folder + "/" + kDatabaseFile);
                   Project::instance()->open(nullptr);
               })
            << "bimcore.project" << QStringList { "%1", kDatabaseFile };
        QTest::newRow("open of a database that is none")
            << Failure([](const QString& folder) {
                   writeProject(folder);
                   writeBytes(folder + "/" + kDatabaseFile, QByteArray(4096, 'x'));
                   Project::instance()->open(nullptr);
               })
            << "bimcore.storage" << QStringList { "%1", kDatabaseFile, "not a database" };
        QTest::newRow("update the service refuses")
            << Failure([](const QString&) {
                   ScriptedCentralService::install(
                       [](const FileProcessParams&, int, CentralServiceContext& context) {
                           context.Fail(L"项目不存在");
                       });
                   Project::instance()->updateProject(nullptr);
               })
            << "bimcore.project" << QStringList { "%1", "项目不存在" };
        QTest::newRow("folder that cannot be removed")
            << Failure([](const QString& folder) {
                   writeProject(folder);
                   QVERIFY(!FileHandler::clearDir(folder + "/."));
               })
            << "bimcore.storage" << QStringList { "clearDir", "%1/." };
        QTest::newRow("unknown element type")
            << Failure([](const QString& folder) {
                   // A new identifier each time: a looked-up one is remembered.
                   static int unknown = 31337;
                   writeProject(folder, { projectTable(9), { "element_type", {}, {} } });
                   QCOMPARE(ElementType::instance()->getElementTypeNamebyId(++unknown), QString());
               })
            << "bimcore.storage" << QStringList { "no element type", "element_type" };
        QTest::newRow("download of a missing file")
            << Failure([](const QString& folder) {
                   MiniHttpServer server;
                   server.respondFile("attachment; filename=\"a.zip\"", "gone", 404);
                   QVERIFY(QDir().mkpath(folder));
                   QCOMPARE(HttpRequest::httpDownload(server.url("/file"), folder + "/"), QString());
               })
            << "bimcore.network" << QStringList { "http://127.0.0.1:", "/file answered 404" };
        // The exception names the URL too.
        QTest::newRow("request to no server")
            << Failure([](const QString&) {
                   const QString raised = raisedBy([] { HttpRequest::HttpGet(kNoServer, "Bearer x"); });
                   QVERIFY2(raised.contains(kNoServer), qPrintable(raised));
               })
            << "bimcore.network" << QStringList { kNoServer };
    }

    void failuresLogTheirCause()
    {
        QFETCH(Failure, failure);
        QFETCH(QString, category);
        QFETCH(QStringList, named);

        QLoggingCategory::setFilterRules("bimcore.*.debug=true");
        const QString text = loggedBy([&] { failure(m_folder); }).filter(category + ": ").join('\n');
        for (const QString& name : named)
            QVERIFY2(text.contains(QString(name).replace("%1", QDir::toNativeSeparators(m_folder)))
                    || text.contains(QString(name).replace("%1", m_folder)),
                qPrintable(name + " not in: " + text));
    }

    void quietByDefault_data() { failuresLogTheirCause_data(); }

    // Nothing is written unless the host asks: the same failures, quiet.
    void quietByDefault()
    {
        QFETCH(Failure, failure);
        const QStringList logged = loggedBy([&] { failure(m_folder); });
        QVERIFY2(logged.isEmpty(), qPrintable(logged.join('\n')));
    }

    // The data-model library names the table a lookup did not find.
    void missingTableIsNamed()
    {
        writeProject(m_folder);
        const QString raised
            = raisedBy([] { Project::instance()->getTesselTable("elment_type").recordCount(); });
        QVERIFY2(raised.contains("\"elment_type\""), qPrintable(raised));
    }
};

QTEST_MAIN(CausesTest)
#include "tst_causes.moc"
