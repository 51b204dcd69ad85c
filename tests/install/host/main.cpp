// A host program built only from the installed package, with headers of its
// own named as the package's subsystem folders.
#include <core/Global.h>
#include <project/Project.h>

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/Version.h>
#include <bimcore/project/Project.h>
#include <bimcore/storage/FileHandler.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Global* global = Singleton<Global>::instance();
    if (!global->initParams(app) || global->m_userID != "host-user"
        || global->m_token != "Bearer t") {
        std::fprintf(stderr, "initParams gave the wrong fields\n");
        return 1;
    }
    Singleton<Global>::destory();

    QTemporaryDir scratch;
    const QString folder = scratch.filePath("a/b");
    FileHandler::dirCreate(folder);
    if (!QDir(folder).exists() || !FileHandler::clearDir(scratch.filePath("a"))) {
        std::fprintf(stderr, "FileHandler failed\n");
        return 1;
    }

    try {
        QString message = QStringLiteral("host");
        throw BIMException(message, 0);
    } catch (const std::exception& caught) {
        std::printf("host ok: %s %s %d\n", caught.what(), BIMCORE_VERSION_STRING,
                    HostProjectSettings().zoom * HostGlobals().frames);
        return 0;
    }
}
