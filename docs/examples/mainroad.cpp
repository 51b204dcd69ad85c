// The main road of a host: launch parameters, open the project (fetching it
// the first time), bring it up to date, read what changed and the tables.
//
// Built against the installed package (find_package(BimCore) and
// BimCore::BimCore, or pkg-config bimcore). Run it on the sample project the
// build makes, with the sample's central store:
//
//   export BIMCORE_CENTRAL_STORE=$PWD/build/samples/store-r1
//   ./mainroad --userID=u-1001 --token=demo-token
#include <bimcore/core/BIMException.h>
#include <bimcore/core/BimCoreVersion.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/Version.h>
#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/project/Project.h>
#include <bimcore/storage/ElementType.h>

#include <QApplication>
#include <QDebug>
#include <QDir>

// The library never makes the project object: the host derives its own class
// and registers one object of it.
class MyProject : public Project
{
public:
    static MyProject* create()
    {
        auto* project = new MyProject;
        s_pSelf = project;
        return project;
    }
};

static void progress(const wchar_t* text, double percent)
{
    // wchar_t is 16 bits on Windows, 32 on Linux: fromWCharArray reads both.
    qInfo().noquote() << QString::number(percent, 'f', 0) + "%" << QString::fromWCharArray(text);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (bimcore::version() != BIMCORE_VERSION)
        qWarning() << "built for bimcore" << BIMCORE_VERSION_STRING << "running with"
                   << bimcore::versionString();

    Global* global = Singleton<Global>::instance();
    if (!global->initParams(app)) // --userID=... --token=... ...
        return 1;
    // The sample project's identity (build/samples/sample.env) and where its
    // local copy goes.
    global->m_projectId = 1873468521370009601;
    global->m_projectKey = "riverside-clinic";
    global->m_projectPath = QDir::homePath() + "/bimcore-work/projects/riverside-clinic";

    MyProject::create();
    int status = 0;
    try {
        // false: the central service refused; GetErrorMsg() says why.
        if (!Project::instance()->open(&progress)) // fetches it the first time
            qWarning() << "update failed:" << Project::instance()->GetErrorMsg();
        if (!Project::instance()->updateProject(&progress)) // later: bring it up to date
            qWarning() << "update failed:" << Project::instance()->GetErrorMsg();

        // What the update changed: table -> record identifier -> 1 added,
        // 2 changed, 3 removed.
        for (const auto& [table, records] : Project::instance()->getChangedDelta().tables)
            qInfo() << QString::fromStdWString(table) << records.size() << "records changed";
        if (Project::instance()->needResetModel()) {
            // rebuild the host's model
        }

        TesselTable elements = Project::instance()->getTesselTable("element");
        KSQLite::KSqlTable issues = Project::instance()->getSQLTable("issue");
        qInfo() << elements.recordCount() << "elements, issue table"
                << (issues.isValid() ? "present," : "missing,")
                << ElementType::instance()->getElementTypeNamebyId(101);
    } catch (const BIMException& e) {
        // "打开项目失败！"; when a first fetch failed there is nothing to open,
        // and GetErrorMsg() holds the service's reason.
        qWarning() << e.message() << Project::instance()->GetErrorMsg();
        status = 1;
    } catch (const KRVException& e) {
        qWarning() << e.what(); // a model table that cannot be read
        status = 1;
    }
    Project::destory();
    Singleton<Global>::destory();
    return status;
}
