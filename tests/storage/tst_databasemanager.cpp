// DatabaseManager: which folders are projects, the models it hands out with
// their identifiers prepared, and the texts a host sees when the files cannot
// be read.
#include "ProjectFolders.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/storage/DatabaseManager.h>

#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/ksqlite/KSqlDatabase.h>

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

// Identifier texts as a service might deliver them: plain decimal numbers of
// every length and sign, and texts that only look like numbers or convert to
// one in their own way.
const QStringList kIdentifierTexts { "0", "7", "-1", "42", "12345678", "123456789",
    "1234567890123456", "81985529216486913", "9000000000000000001", "9223372036854775807",
    "-9223372036854775808", "1000000000000000000", "-1000000000000000000", "9223372036854775808",
    "-9223372036854775809", "18446744073709551615", "18446744073709551616", "12345678901234567890",
    "-0", "00", "007", "+5", " 5", "5 ", "\t6\n", "", "-", "+", "1e3", "0x10", "١٢", "12345678x",
    "1234567:", "5a", "1.0" };

// Every way of reading a field, as text: the value or the refusal's message.
QStringList readings(const TesselRecord& record, int field)
{
    const auto attempt = [](auto read) {
        try {
            return read();
        } catch (const KRVException& e) {
            return QStringLiteral("refused: ") + e.message();
        }
    };
    const QVariant value = record.value(field);
    return { record.asString(field),
        QString::fromLatin1(value.typeName()) + QLatin1Char(':') + value.toString(),
        attempt([&] { return QString::number(record.asInteger(field)); }),
        attempt([&] { return QString::number(record.asInt64(field)); }),
        attempt([&] { return QString::number(record.asUInt64(field)); }),
        attempt([&] { return QString::number(record.asDouble(field), 'g', 17); }) };
}

// Every reading of every field of every record.
QStringList readings(const TesselTable& table)
{
    QStringList all;
    const int fields = table.tableSchema().fieldSchemas().count();
    for (int row = 0; row < table.recordCount(); ++row) {
        all << QString::number(table[row].id64());
        for (int field = 0; field < fields; ++field)
            all << readings(table[row], field);
    }
    return all;
}

// The type change's outcome: empty, or the refusal's message.
QString changeType(TesselTable table, int field, TesselDataType type)
{
    try {
        table.tableSchema().fieldSchemas().items(field).setDataType(type);
        return QString();
    } catch (const KRVException& e) {
        return e.message();
    }
}

// "wall" keyed by "id", it, "ref" and "other" marked as identifiers; each
// record holds one text in all three, and its position in "number".
Table identifierWall(const QStringList& texts)
{
    Table table { "wall",
        { { "id", tdtString, "Int64" }, { "ref", tdtString, "Int64" },
            { "other", tdtString, "Int64" }, { "number", tdtInt32 } },
        {} };
    for (int i = 0; i < texts.size(); ++i)
        table.records.push_back({ 1000 + quint64(i), { texts[i], texts[i], texts[i], i } });
    return table;
}

// The table in a model that only ever lived in memory, made by the calls that
// write a model file.
TesselTable inMemory(const Table& spec)
{
    TesselModel model = newModel();
    TesselTable table = model.addDatabase("DB").addTable(spec.name, spec.kind);
    for (const Field& field : spec.fields) {
        TesselFieldSchema schema = table.tableSchema().fieldSchemas().add(field.name, field.type);
        if (!field.dataType.isEmpty())
            addDefinition(schema.extPropDefs(), "DataType", field.dataType);
    }
    table.tableSchema().setPrimaryKeyFieldIndex(spec.primaryKey);
    for (const Record& record : spec.records) {
        TesselRecord written = table.appendRecord(record.id);
        for (int i = 0; i < record.values.size(); ++i)
            written.setValue(i, record.values[i]);
    }
    return table;
}

} // namespace

class DatabaseManagerTest : public QObject
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
    void recognisesProjectFolders_data()
    {
        QTest::addColumn<QString>("folderName"); // empty: no folder at all
        QTest::addColumn<QString>("trailing");
        QTest::addColumn<QString>("model"); // "plain", "converted", "garbage", or none
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("withDatabase");
        const auto row = [](const char* tag, const char* name, const char* trailing,
                             const char* model, TesselMode mode, bool database) {
            QTest::newRow(tag) << QString::fromUtf8(name) << trailing << model << int(mode)
                               << database;
        };
        row("unconverted model", "plain", "", "plain", tmDesign, true);
        row("stored in design mode, trailing separator", "trailing", "/", "converted", tmDesign,
            true);
        row("stored read-only, spaces and non-ASCII", "项目 文件夹 é", "", "converted", tmReadOnly,
            true);
        row("stored ready, spaces and non-ASCII, trailing separator", "项目 文件夹 ü", "/",
            "converted", tmRuntime, true);
        row("folder missing", "", "", "", tmDesign, false);
        row("empty folder", "empty", "", "", tmDesign, false);
        // The model file here is garbage: were it loaded, opening would raise.
        row("model file only", "model only", "", "garbage", tmDesign, false);
        row("database file only", "database only", "/", "", tmDesign, true);
    }

    void recognisesProjectFolders()
    {
        QFETCH(QString, folderName);
        QFETCH(QString, trailing);
        QFETCH(QString, model);
        QFETCH(int, mode);
        QFETCH(bool, withDatabase);
        const bool isProject = (model == "plain" || model == "converted") && withDatabase;
        const QString folder = m_dir.filePath(folderName.isEmpty() ? "absent" : folderName);
        if (!folderName.isEmpty()) {
            QVERIFY(QDir().mkpath(folder));
            if (model == "garbage")
                writeBytes(folder + "/" + kModelFile, "not a model");
            else if (!model.isEmpty())
                writeModel(folder + "/" + kModelFile,
                    { projectTable(11, 12, model == "converted") },
                    model == "converted" ? "True" : "", TesselMode(mode));
            if (withDatabase)
                writeDatabase(folder + "/" + kDatabaseFile, "db");
        }

        const QString path = folder + trailing;
        QCOMPARE(DatabaseManager::ProjectExists(path), isProject);
        const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(path);
        QCOMPARE(manager != nullptr, isProject);
        if (!manager)
            return;
        // Handed out ready for use, whatever mode the model was stored in.
        QCOMPARE(manager->ProjectModel().mode(), tmRuntime);
        const TesselTable project = manager->ProjectModel().findTable("DB", "project");
        QVERIFY(!project.isNull() && project.recordCount() == 1);
        QCOMPARE(project[0].asUInt64("id"), 11ull);
        QVERIFY(manager->SqliteProjectData() && manager->SqliteProjectData()->isOpen());
        // Joined directly to the folder, written once with its separator.
        QCOMPARE(QString::fromStdString(manager->SqliteProjectData()->path()),
            folder + "/" + kDatabaseFile);
    }

    // The host sees what the model and database libraries say.
    void unreadableFilesRaise_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>(
            "bytes"); // empty: a model with an identifier that is no number
        QTest::addColumn<QString>("fragment");
        QTest::newRow("model file that is no model")
            << kModelFile << QByteArray("not a model at all") << "Cannot load model file";
        QTest::newRow("database file that is no database")
            << kDatabaseFile << QByteArray(4096, 'x') << "file is not a database";
        QTest::newRow("identifier that is no number") << kModelFile << QByteArray() << "five";
    }

    void unreadableFilesRaise()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fragment);
        const QString folder = m_dir.filePath(QTest::currentDataTag());
        writeProject(folder);
        if (bytes.isEmpty())
            writeModel(folder + "/" + file,
                { { "wall", { { "id", tdtString, "Int64" } }, { { 5, { "five" } } } } });
        else
            writeBytes(folder + "/" + file, bytes);
        try {
            DatabaseManager::OpenProject(folder);
            QFAIL("opening did not raise");
        } catch (const BIMException& e) {
            QCOMPARE(e.code(), 0);
            QVERIFY2(e.message().contains(fragment), qPrintable(e.message()));
        }
    }

    void copiesShareTheStores()
    {
        const QString folder = m_dir.filePath("shared");
        writeProject(folder);
        std::shared_ptr<DatabaseManager> original = DatabaseManager::OpenProject(folder);
        QVERIFY(original);
        const TesselModel model = original->ProjectModel();
        KSQLite::KSqlDatabase* database = original->SqliteProjectData();

        DatabaseManager copy(*original);
        QVERIFY(copy.ProjectModel() == model);
        QCOMPARE(copy.SqliteProjectData(), database);
        std::shared_ptr<DatabaseManager> other = DatabaseManager::OpenProject(folder);
        QVERIFY(other->ProjectModel() != model);
        *other = copy;
        QVERIFY(other->ProjectModel() == model);
        QCOMPARE(other->SqliteProjectData(), database);

        // The stores outlive the manager they came from.
        original.reset();
        QVERIFY(database->isOpen());
        QCOMPARE(database->exec("UPDATE project SET name = 'renamed'"), 1);
    }

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

    // A delivered project's identifiers are the numbers their texts convert
    // to, whatever form the texts have.
    void convertsIdentifierTextsOfEveryForm()
    {
        QStringList convertible;
        for (const QString& text : kIdentifierTexts) {
            if (changeType(inMemory(identifierWall({ text })), 0, tdtInt64).isEmpty())
                convertible << text;
        }
        QVERIFY(convertible.contains("007") && convertible.contains("18446744073709551615"));
        const Table spec = identifierWall(convertible);
        const TesselTable wall = open({ spec }).findTable("DB", "wall");
        const TesselTable expected = inMemory(spec);
        QCOMPARE(changeType(expected, 0, tdtInt64), QString());
        QCOMPARE(changeType(expected, 1, tdtInt64), QString());
        QCOMPARE(changeType(expected, 2, tdtInt64), QString());
        QCOMPARE(int(wall.tableSchema().fieldSchemas().items(0).dataType()), int(tdtInt64));
        QCOMPARE(readings(wall), readings(expected));
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

QTEST_GUILESS_MAIN(DatabaseManagerTest)
#include "tst_databasemanager.moc"
