// Identifier processing as a host sees it: through the models that
// DatabaseManager hands out.
#include "ProjectFolderBuilder.h"

#include <storage/DatabaseManager.h>

#include <tessel/Tessel.h>

#include <QTemporaryDir>
#include <QtTest>

using Builder = ProjectFolderBuilder;

namespace {

// A table "wall" with a primary key "id" and a second field "ref"; each field
// given as (type, DataType marker or empty).
QByteArray wallTable(int kind, const QByteArray& idType, const QByteArray& idMarker,
    const QByteArray& refMarker = QByteArray(), int primaryKey = 0)
{
    auto field = [](const char* name, const QByteArray& type, const QByteArray& marker) {
        QByteArray out = QByteArray("{\"name\": \"") + name + "\", \"type\": \"" + type + "\"";
        if (!marker.isEmpty())
            out += ", \"extPropDefs\": [" + Builder::dataTypeMarker(marker) + "]";
        return out + "}";
    };
    return "{\"name\": \"wall\", \"kind\": " + QByteArray::number(kind)
        + ", \"primaryKey\": " + QByteArray::number(primaryKey) + ", \"fields\": ["
        + field("id", idType, idMarker) + ", " + field("ref", "string", refMarker)
        + "], \"records\": [{\"id64\": \"9000000000000000001\", "
          "\"values\": [\"9000000000000000001\", \"77\"]}]}";
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

private slots:
    void preparesLoadedModels_data();
    void preparesLoadedModels();
    void givesEveryRecordAFreshIdentifier();

private:
    TesselModel open(const QByteArray& modelJson);

    QTemporaryDir m_dir;
    int m_folders = 0;
};

TesselModel Int64ProcessorTest::open(const QByteArray& modelJson)
{
    const QString folder = m_dir.filePath(QString::number(++m_folders));
    Builder::write(folder, modelJson);
    const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(folder);
    if (!manager)
        qFatal("no project at %s", qPrintable(folder));
    return manager->ProjectModel();
}

void Int64ProcessorTest::preparesLoadedModels_data()
{
    QTest::addColumn<QByteArray>("modelDefinitions");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<int>("idType");
    QTest::addColumn<int>("refType");
    QTest::addColumn<bool>("bound");
    QTest::addColumn<int>("convertedMarkers");

    const QByteArray none = "[]";
    QTest::newRow("unconverted identifiers") << none << wallTable(0, "string", "Int64", "Int64")
                                             << int(tdtInt64) << int(tdtInt64) << true << 1;
    QTest::newRow("converted model is not converted again")
        << Builder::converted() << wallTable(0, "string", "Int64", "Int64") << int(tdtString)
        << int(tdtString) << true << 1;
    QTest::newRow("marker in lower case converts again")
        << Builder::converted("true") << wallTable(0, "string", "Int64") << int(tdtInt64)
        << int(tdtString) << true << 2;
    QTest::newRow("marker with another value converts again")
        << Builder::converted("Yes") << wallTable(0, "string", "Int64") << int(tdtInt64)
        << int(tdtString) << true << 2;
    QTest::newRow("key marked int64 in lower case")
        << none << wallTable(0, "string", "int64", "Int64") << int(tdtString) << int(tdtInt64)
        << false << 1;
    QTest::newRow("key of type int64 without marker")
        << Builder::converted() << wallTable(0, "int64", "") << int(tdtInt64) << int(tdtString)
        << true << 1;
    QTest::newRow("lookup table is converted, not bound")
        << none << wallTable(1, "string", "Int64") << int(tdtInt64) << int(tdtString) << false << 1;
    QTest::newRow("link table is converted, not bound")
        << none << wallTable(2, "string", "Int64") << int(tdtInt64) << int(tdtString) << false << 1;
    QTest::newRow("marked field that is not the key")
        << none << wallTable(0, "string", "", "Int64") << int(tdtString) << int(tdtInt64) << false
        << 1;
    QTest::newRow("table without a key") << none << wallTable(0, "string", "Int64", "", -1)
                                         << int(tdtInt64) << int(tdtString) << false << 1;
}

void Int64ProcessorTest::preparesLoadedModels()
{
    QFETCH(QByteArray, modelDefinitions);
    QFETCH(QByteArray, table);
    QFETCH(int, idType);
    QFETCH(int, refType);
    QFETCH(bool, bound);
    QFETCH(int, convertedMarkers);

    const TesselModel model = open(Builder::model({ table }, modelDefinitions));
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

void Int64ProcessorTest::givesEveryRecordAFreshIdentifier()
{
    const QByteArray model = Builder::model({ wallTable(0, "string", "Int64"),
        Builder::projectTable(1, 2), Builder::elementTypeTable({}) });
    const TesselModel first = open(model);
    const TesselModel second = open(model);

    // One handler serves every table of every model.
    TesselTable wall = first.findTable("DB", "wall");
    const TesselQueryIDValueEvent handler = wall.onQueryIDValue();
    QVERIFY(!handler.isNull());
    QVERIFY(first.findTable("DB", "project").onQueryIDValue() == handler);
    QVERIFY(second.findTable("DB", "element_type").onQueryIDValue() == handler);

    QVariant a;
    QVariant b = QString("replaced");
    handler.onQueryIDValue(nullptr, &a);
    handler.onQueryIDValue(nullptr, &b);
    QCOMPARE(int(a.type()), int(QMetaType::ULongLong));
    QCOMPARE(int(b.type()), int(QMetaType::ULongLong));
    QVERIFY(a.toULongLong() != 0);
    QVERIFY(a.toULongLong() != b.toULongLong());

    // Appended records take their identifiers from it, and the key holds them.
    const TesselRecord r1 = wall.appendRecord();
    const TesselRecord r2 = second.findTable("DB", "element_type").appendRecord();
    QVERIFY(r1.id64() != r2.id64());
    QVERIFY(r1.id64() > b.toULongLong());
    QCOMPARE(r1.asUInt64("id"), r1.id64());
}

QTEST_GUILESS_MAIN(Int64ProcessorTest)
#include "tst_int64processor.moc"
