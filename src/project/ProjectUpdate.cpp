#include "PlatformEventNexus.h"
#include "Project.h"

#include <core/Global.h>
#include <storage/DatabaseManager.h>

#include <ksqlite/KSqlDatabase.h>
#include <platformsvc/CentralSvcEventFactory.h>
#include <platformsvc/StagedFiles.h>

#include <QDir>
#include <QFile>
#include <QObject>

#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace {

// A folder held open: its name under /proc/self/fd leads to it wherever it is
// moved, as long as it is open.
class OpenFolder
{
public:
    explicit OpenFolder(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~OpenFolder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(m_fd); }

private:
    const int m_fd;
};

// Opens the project from the new files as soon as the central store has them
// complete, so that loading the model, by far the longest step, runs while
// the store still flushes, compares and swaps them in, instead of after. The
// load runs in the caller's wait, on its thread, as the usual opening would;
// only an answer without error makes its result the project's. Lives on the
// caller's stack for the length of the wait.
class EarlyOpen
{
public:
    EarlyOpen()
        : m_shared(std::make_shared<Shared>(&m_receiver))
    {
    }
    ~EarlyOpen()
    {
        // No load is queued after this, and those queued go with the receiver.
        {
            const std::lock_guard<std::mutex> lock(m_shared->mutex);
            m_shared->receiver = nullptr;
        }
        // Released on the thread that loaded them, even when the worker keeps
        // the handler a little longer.
        m_shared->manager.reset();
        m_shared->folder.reset();
    }
    EarlyOpen(const EarlyOpen&) = delete;
    EarlyOpen& operator=(const EarlyOpen&) = delete;

    // Called on the hub's worker thread, while the staged folder is there.
    PlatformSvcComm::StagedFilesHandler handler() const
    {
        return [shared = m_shared](const QString& folder) {
            auto open = std::make_shared<OpenFolder>(folder);
            const std::lock_guard<std::mutex> lock(shared->mutex);
            if (open->isOpen() && shared->receiver)
                QMetaObject::invokeMethod(
                    shared->receiver, [shared, open] { shared->load(open); }, Qt::QueuedConnection);
        };
    }

    // Once the wait is over: after an answer without error, the stores opened
    // early, their database opened again where the project folder is; null
    // otherwise, or when there was no early opening or it failed.
    std::shared_ptr<DatabaseManager> finish(bool answered, const QString& projectFolder)
    {
        std::shared_ptr<DatabaseManager> manager = std::move(m_shared->manager);
        const std::shared_ptr<OpenFolder> folder = std::move(m_shared->folder);
        KSQLite::KSqlDatabase* database = manager ? manager->SqliteProjectData() : nullptr;
        if (!answered || !database)
            return nullptr;
        // The path DatabaseManager itself opens.
        QString path = QDir::toNativeSeparators(projectFolder);
        if (!path.endsWith(QDir::separator()))
            path += QDir::separator();
        try {
            database->Open((path + QStringLiteral("KBMProjectTemplate.db")).toStdString(), true);
        } catch (...) {
            return nullptr;
        }
        return manager;
    }

private:
    struct Shared
    {
        explicit Shared(QObject* receiver)
            : receiver(receiver)
        {
        }

        // On the caller's thread.
        void load(const std::shared_ptr<OpenFolder>& open)
        {
            try {
                manager = DatabaseManager::OpenProject(open->path());
                folder = open;
            } catch (...) {
                // Opened the usual way once the answer is in.
                manager.reset();
            }
        }

        std::mutex mutex; // guards receiver
        QObject* receiver;
        std::shared_ptr<DatabaseManager> manager;
        std::shared_ptr<OpenFolder> folder; // keeps the database's path valid
    };

    QObject m_receiver;
    const std::shared_ptr<Shared> m_shared;
};

} // namespace

bool Project::updateProject(ProgressCallback callback)
{
    m_errorMsg.clear();
    m_delta.tables.clear();
    m_pDatabaseManager.reset();

    // Owned here and deleted however the call ends; the hub stops using it
    // once it has answered.
    const std::shared_ptr<ICentralServiceFileProcessEvent> request(
        CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
    const Global& global = *Singleton<Global>::instance();
    FileProcessParams* params = request->GetParams();
    params->m_projectId = global.m_projectId;
    params->m_projectKey = global.m_projectKey.toStdWString();
    params->m_projectPath = global.m_projectPath.toStdWString();
    params->m_account = global.m_account.toStdWString();
    // The fifth field keeps what the factory put there.
    params->m_userID = global.m_userID.toStdWString();
    params->m_displayName = global.m_displayName.toStdWString();
    params->m_token = global.m_token.toStdWString();
    params->m_tenantID = global.m_tenantID.toStdWString();
    params->m_productCode = global.m_productCode.toStdWString();
    request->SetRequestFlag(1);

    std::shared_ptr<DatabaseManager> opened;
    bool answered = false;
    {
        EarlyOpen early;
        PlatformSvcComm::setStagedFilesHandler(request.get(), early.handler());
        answered = PlatformEventNexus::Instance()->PostEventAndWait(request.get(), callback);
        opened = early.finish(answered, global.m_projectPath);
    }

    if (answered) {
        // A project fetched for the first time reports no changes.
        if (!m_bOpened)
            m_delta.tables.clear();
        if (opened) {
            m_pDatabaseManager = std::move(opened);
            return true;
        }
        return OpenProject(global.m_projectPath);
    }
    m_errorMsg = PlatformEventNexus::Instance()->LastErrorMsg();
    OpenProject(global.m_projectPath);
    return false;
}
