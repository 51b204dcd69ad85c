// A host whose own classes carry the names the library once had in the
// global namespace: with BIMCORE_NO_GLOBAL_NAMES every header still compiles
// and the library is reached as bimcore::.
#define BIMCORE_NO_GLOBAL_NAMES

#include <bimcore/core/Global.h>
#include <bimcore/project/Project.h>
#include <bimcore/storage/FileHandler.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

class Global
{
public:
    int frames = 2;
};

class Project
{
public:
    explicit Project(int id)
        : id(id)
    {
    }
    int id;
};

struct FileHandler
{
    static bool clearDir(const QString&) { return false; }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    bimcore::Global* global = bimcore::Singleton<bimcore::Global>::instance();
    const bool launched = global->initParams(app);
    QTemporaryDir scratch;
    const QString folder = scratch.filePath("a/b");
    bimcore::FileHandler::dirCreate(folder);
    const bool cleared = bimcore::FileHandler::clearDir(scratch.filePath("a"))
        && !QDir(folder).exists() && !FileHandler::clearDir(folder);
    std::printf("clash host: %s %s %d\n", launched ? "launched" : "not launched",
        cleared ? "cleared" : "not cleared", Project(3).id * Global().frames);
    return launched && cleared && bimcore::Project::instance() == nullptr ? 0 : 1;
}
