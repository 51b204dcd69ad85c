#include "ProjectFolderUpdate.h"
#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace PlatformSvcComm {
namespace {
// Its presence means the staged pair is complete and must replace the old one.
const QString kJournal = QStringLiteral(".bimcore-update");

// SQLite's journals beside a database belong to the file they were made for:
// left beside a new file, they would be played into it.
void removeWithJournals(const LockedFolder& folder, const QString& name)
{
    for (const char* suffix : { "", "-journal", "-wal", "-shm" })
        folder.remove(name + QLatin1String(suffix));
}
} // namespace

const QStringList& ProjectFolderUpdate::projectFiles()
{
    static const QStringList names { "KBMProjectTemplate.Tessel", "KBMProjectTemplate.db" };
    return names;
}

ProjectFolderUpdate::ProjectFolderUpdate(const QString& projectFolder)
    : m_path(QDir::cleanPath(QFileInfo(projectFolder).absoluteFilePath()))
    , m_workPath(m_path)
{
    if (projectFolder.trimmed().isEmpty())
        throw std::runtime_error("The request names no local project folder.");
    // Twice at most: a first fetch in another process may finish while this
    // one waits for the folder it builds in.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (QFileInfo(m_path).isDir() && (m_folder = lockedFolder(m_path)))
            return;
        // A first fetch builds the project in a folder of its own beside it
        // and moves that into place whole: killed at any moment, it leaves no
        // project folder that would not open, and the next open fetches again.
        m_workPath = QFileInfo(m_path).dir().filePath(
            QLatin1Char('.') + QFileInfo(m_path).fileName() + QStringLiteral(".bimcore-fetch"));
        if (!QDir().mkpath(m_workPath))
            throw std::runtime_error(QStringLiteral("Cannot create the folder \"%1\"")
                                         .arg(QDir::toNativeSeparators(m_workPath))
                                         .toStdString());
        m_folder = lockedFolder(m_workPath);
        if (m_folder && !QFileInfo(m_path).isDir()) {
            // What a fetch cut off after its commit left is no one's.
            for (const QString& name : projectFiles())
                removeWithJournals(m_folder, name);
            m_created = true;
            return;
        }
        m_folder = LockedFolder();
        m_workPath = m_path;
    }
    throw std::runtime_error(QStringLiteral("Cannot open the folder \"%1\"")
                                 .arg(QDir::toNativeSeparators(m_path))
                                 .toStdString());
}

bool ProjectFolderUpdate::needsRecovery(const LockedFolder& folder)
{
    // Only an update cut off leaves work: an open on a read-only disk writes nothing.
    return folder
        && (folder.exists(kJournal) || folder.exists(staged(projectFiles()[0]))
            || folder.exists(staged(projectFiles()[1])));
}

LockedFolder ProjectFolderUpdate::lockedFolder(const QString& path)
{
    LockedFolder folder = LockedFolder::open(path);
    if (needsRecovery(folder))
        recover(folder);
    return folder;
}

LockedFolder ProjectFolderUpdate::lockedForReading(const QString& projectFolder)
{
    LockedFolder folder = LockedFolder::open(projectFolder, true);
    if (!needsRecovery(folder))
        return folder;
    // Repairs take the lock alone; what they could not remove is a leftover
    // the reader may pass, so the second look is the last.
    folder = LockedFolder();
    lockedFolder(projectFolder);
    return LockedFolder::open(projectFolder, true);
}

ProjectFolderUpdate::~ProjectFolderUpdate()
{
    try {
        recover(m_folder);
    } catch (const std::exception&) {
        // The next update or open removes them first.
    }
    // A host opens a missing folder by fetching it again, an empty one not.
    if (m_created && !m_committed)
        m_folder.removeFolder();
}

void ProjectFolderUpdate::recover(const LockedFolder& folder)
{
    // Only the journal this code makes, an empty plain file, commits; only a
    // staged plain file is put in place, never a link to what lies elsewhere.
    if (folder.isPlainFile(kJournal)) {
        for (const QString& name : projectFiles()) {
            if (!folder.isPlainFile(staged(name)))
                continue; // already in place
            removeWithJournals(folder, name);
            folder.rename(staged(name), name);
        }
        folder.flush();
    }
    // The pair is whole now: what is left over is no one's, and a folder that
    // cannot be written opens with it as it is.
    for (const QString& name : projectFiles())
        folder.removeLeftover(staged(name));
    folder.removeLeftover(kJournal);
    folder.flush();
}

void ProjectFolderUpdate::stage(const QString& from, const QString& name)
{
    // Whatever stays (a folder that is not empty) makes the copy's new file
    // fail, naming it.
    m_folder.removeLeftover(staged(name));
    m_folder.copyInto(from, staged(name));
}

void ProjectFolderUpdate::commit()
{
    // The staged files are flushed: once the journal is there, the update is
    // complete even if the process goes now. Empty, it is never half written.
    // Held across the renames: a process that writes the old database now
    // fails clearly, and one that writes later finds the new file whole.
    const auto writersKept = m_folder.excludeWriters(projectFiles()[1]);
    m_folder.flush();
    m_folder.createEmpty(kJournal);
    m_folder.flush();
    m_committed = true;
    recover(m_folder);
    if (m_created)
        m_folder.moveFolderTo(m_path);
}
} // namespace PlatformSvcComm
