// A host program built only from the installed package, with headers of its
// own named as the package's subsystem folders, and classes of its own named
// as the package's: it reaches the package's as bimcore::.
#define BIMCORE_NO_GLOBAL_NAMES

#include <core/Global.h>
#include <project/Project.h>

#include <bimcore/core/BIMException.h>
#include <bimcore/core/BimCoreVersion.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/Version.h>
#include <bimcore/project/Project.h>
#include <bimcore/storage/FileHandler.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

// The form hosts test for what a version brought.
#if !(BIMCORE_VERSION >= BIMCORE_VERSION_CHECK(0, 1, 0))                                 \
    || BIMCORE_VERSION                                                                     \
        != BIMCORE_VERSION_CHECK(BIMCORE_VERSION_MAJOR, BIMCORE_VERSION_MINOR, BIMCORE_VERSION_PATCH)
#error "BIMCORE_VERSION does not hold the header's version"
#endif

struct FileHandler
{
    static bool clearDir(const QString&) { return false; }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    bimcore::Global* global = bimcore::Singleton<bimcore::Global>::instance();
    if (!global->initParams(app) || global->m_userID != "host-user"
        || global->m_token != "Bearer t") {
        std::fprintf(stderr, "initParams gave the wrong fields\n");
        return 1;
    }
    bimcore::Singleton<bimcore::Global>::destory();

    // The library loaded is the one the host was built against.
    if (bimcore::version() != BIMCORE_VERSION
        || std::strcmp(bimcore::versionString(), BIMCORE_VERSION_STRING) != 0) {
        std::fprintf(stderr, "library version %06x (%s), headers %06x\n",
            unsigned(bimcore::version()), bimcore::versionString(), unsigned(BIMCORE_VERSION));
        return 1;
    }

    QTemporaryDir scratch;
    const QString folder = scratch.filePath("a/b");
    bimcore::FileHandler::dirCreate(folder);
    if (!QDir(folder).exists() || !bimcore::FileHandler::clearDir(scratch.filePath("a"))
        || FileHandler::clearDir(folder)) {
        std::fprintf(stderr, "FileHandler failed\n");
        return 1;
    }

    try {
        QString message = QStringLiteral("host");
        throw bimcore::BIMException(message, 0);
    } catch (const std::exception& caught) {
        std::printf("host ok: %s %s 0x%06x %d\n", caught.what(), BIMCORE_VERSION_STRING,
                    unsigned(bimcore::version()), Project().zoom * Global().frames);
        return 0;
    }
}
