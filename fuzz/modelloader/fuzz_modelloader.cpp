// Feeds arbitrary bytes to the model loader as a model file. Any fault must
// come back as KRVException; everything else (a crash, a sanitizer report, a
// leak, another exception) is a finding.
#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/tessel/Tessel.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {
std::unique_ptr<QTemporaryDir> folder;
QString modelPath;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    folder = std::make_unique<QTemporaryDir>();
    modelPath = folder->filePath(QStringLiteral("KBMProjectTemplate.Tessel"));
    // The engine's one-per-name table is made once, outside the inputs.
    tesselEngine(QString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QFile file(modelPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    try {
        TesselModelPersistent(model).loadFromFile(modelPath, false, true);
        // A model that loads must be readable all through.
        for (int d = 0; d < model.databaseCount(); ++d) {
            const TesselTables tables = model.databases(d).tables();
            for (int t = 0; t < tables.count(); ++t) {
                const TesselTable table = tables.items(t);
                const int fields = table.tableSchema().fieldSchemas().count();
                for (int r = 0; r < table.recordCount(); ++r) {
                    const TesselRecord record = table[r];
                    for (int f = 0; f < fields; ++f)
                        record.value(f);
                }
            }
        }
    } catch (const KRVException&) {
        // A refused file: the model must still be whole.
        model.databaseCount();
    }
    return 0;
}
