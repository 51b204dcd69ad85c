// Identifier processing as a host sees it: through the models that
// DatabaseManager hands out.
#include "ProjectFolders.h"

#include <storage/DatabaseManager.h>

#include <QTemporaryDir>
#include <QtTest>

using namespace ProjectFolders;

Q_DECLARE_METATYPE(ProjectFolders::Table)

namespace {

// "wall" with the key "id" and a second field "ref", each with the
// "DataType" marker given (none if empty).
Table wall(TesselTableKind kind, TesselDataType idType, const QString& idMarker,
    const QString& refMarker = QString(), int primaryKey = 0)
{
    return { "wall", { { "id", idType, idMarker }, { "ref", tdtString, refMarker } },
        { { 9000000000000000001ull, { "9000000000000000001", "77" } } }, primaryKey, kind };
}

int definitionsWithCode(const TesselExtPropDefs& definitions, const QString& code)
{
    int found = 0;
    for (int i = 0; i < definitions.count(); ++i)
        found += definitions.items(i).code() == code ? 1 : 0;
    return found;
}

} // namespace

class Int64ProcessorTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_folders = 0;

    TesselModel open(const Revision& tables, const QString& converted = QString())
    {
        const QString folder = m_dir.filePath(QString::number(++m_folders));
        writeProject(folder);
        writeModel(folder + "/" + kModelFile, tables, converted);
        return DatabaseManager::OpenProject(folder)->ProjectModel();
    }

private slots:
    void preparesLoadedModels_data()
    {
        QTest::addColumn<QString>("converted"); // the model's marker
        QTest::addColumn<Table>("table");
        QTest::addColumn<int>("idType");
        QTest::addColumn<int>("refType");
        QTest::addColumn<bool>("bound");
        QTest::addColumn<int>("convertedMarkers");
        const auto row = [](const char* name, const char* converted, const Table& table,
                             TesselDataType id, TesselDataType ref, bool bound, int markers) {
            QTest::newRow(name) << converted << table << int(id) << int(ref) << bound << markers;
        };
        row("unconverted identifiers", "", wall(ttkOrdinary, tdtString, "Int64", "Int64"), tdtInt64,
            tdtInt64, true, 1);
        row("converted model is not converted again", "True",
            wall(ttkOrdinary, tdtString, "Int64", "Int64"), tdtString, tdtString, true, 1);
        row("marker in lower case converts again", "true", wall(ttkOrdinary, tdtString, "Int64"),
            tdtInt64, tdtString, true, 2);
        row("marker with another value converts again", "Yes",
            wall(ttkOrdinary, tdtString, "Int64"), tdtInt64, tdtString, true, 2);
        row("key marked int64 in lower case", "", wall(ttkOrdinary, tdtString, "int64", "Int64"),
            tdtString, tdtInt64, false, 1);
        row("key of type int64 without marker", "True", wall(ttkOrdinary, tdtInt64, ""), tdtInt64,
            tdtString, true, 1);
        row("lookup table is converted, not bound", "", wall(ttkLookup, tdtString, "Int64"),
            tdtInt64, tdtString, false, 1);
        row("link table is converted, not bound", "", wall(ttkLink, tdtString, "Int64"), tdtInt64,
            tdtString, false, 1);
        row("marked field that is not the key", "", wall(ttkOrdinary, tdtString, "", "Int64"),
            tdtString, tdtInt64, false, 1);
        row("table without a key", "", wall(ttkOrdinary, tdtString, "Int64", "", -1), tdtInt64,
            tdtString, false, 1);
    }

    void preparesLoadedModels()
    {
        QFETCH(QString, converted);
        QFETCH(Table, table);
        QFETCH(int, idType);
        QFETCH(int, refType);
        QFETCH(bool, bound);
        QFETCH(int, convertedMarkers);

        const TesselModel model = open({ table }, converted);
        const TesselTable wall = model.findTable("DB", "wall");
        const TesselFieldSchemas fields = wall.tableSchema().fieldSchemas();
        QCOMPARE(int(fields.items(0).dataType()), idType);
        QCOMPARE(int(fields.items(1).dataType()), refType);
        QCOMPARE(!wall.onQueryIDValue().isNull(), bound);

        const TesselExtPropDefs definitions = model.extPropDefs();
        QCOMPARE(definitionsWithCode(definitions, "IgnoreProcessInt64"), convertedMarkers);
        // A conversion appends its own marker, whatever markers were there.
        QCOMPARE(definitions.items(definitions.count() - 1).value(), QString("True"));
        // Converted values are the numbers the texts held.
        if (idType == tdtInt64)
            QCOMPARE(wall[0].asUInt64("id"), 9000000000000000001ull);
        if (refType == tdtInt64)
            QCOMPARE(wall[0].asUInt64("ref"), 77ull);
    }

    void givesEveryRecordAFreshIdentifier()
    {
        const Revision tables { wall(ttkOrdinary, tdtString, "Int64"), projectTable(1, 2) };
        const TesselModel first = open(tables);
        const TesselModel second = open(tables);

        // One handler serves every table of every model.
        TesselTable wall = first.findTable("DB", "wall");
        const TesselQueryIDValueEvent handler = wall.onQueryIDValue();
        QVERIFY(!handler.isNull());
        QVERIFY(first.findTable("DB", "project").onQueryIDValue() == handler);
        QVERIFY(second.findTable("DB", "wall").onQueryIDValue() == handler);

        // Appended records take their identifiers from it, and the key holds them.
        QVariant issued;
        handler.onQueryIDValue(nullptr, &issued);
        const TesselRecord r1 = wall.appendRecord();
        const TesselRecord r2 = second.findTable("DB", "project").appendRecord();
        QVERIFY(r1.id64() > issued.toULongLong() && r2.id64() > r1.id64());
        QCOMPARE(r1.asUInt64("id"), r1.id64());
    }
};

QTEST_GUILESS_MAIN(Int64ProcessorTest)
#include "tst_int64processor.moc"
