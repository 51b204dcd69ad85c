#pragma once

#include <bimcore/platform/tessel/TesselModel.h>

#include <QString>

// Writes a synthetic project folder: the model file
// "KBMProjectTemplate.Tessel" and the SQLite database "KBMProjectTemplate.db".
//
// Model database "DB" holds "project" (one record with a non-zero id),
// "element_type" (node types 1 to 3), "specialty" and further tables up to
// `tables`, together `records` records. Identifier fields carry the
// definition "DataType" = "Int64". Unconverted (the default, as a project
// arrives from the service) they hold decimal text and the model is in mode
// 0; converted they have type 15 and the model carries "IgnoreProcessInt64" =
// "True" and mode 2. The SQLite database has "project", "element_type" and
// "specialty" with the same rows. Everything is made from a fixed seed, so
// the same options give the same files.
class ProjectGenerator
{
public:
    struct Options
    {
        qint64 records = 1000;
        int tables = 20;
        bool converted = false;
    };

    // The model alone.
    static TesselModel buildModel(const Options& options);
    // Both files into folder, which is created when missing. Faults raise
    // KRVException.
    static void writeProject(const QString& folder, const Options& options);

    static QString modelFileName() { return QStringLiteral("KBMProjectTemplate.Tessel"); }
    static QString databaseFileName() { return QStringLiteral("KBMProjectTemplate.db"); }
};
