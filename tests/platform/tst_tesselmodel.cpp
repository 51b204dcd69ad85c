// The data-model library in memory, as the core library and the tools use it:
// handles and their lifetime, definitions, fields, records, identifiers and
// type conversions.
#include "TesselModels.h"

#include <krvcommon/KRVException.h>
#include <tessel/Tessel.h>

#include <QtTest>

Q_DECLARE_METATYPE(TesselDataType)

using TesselModels::newModel;

namespace {

// A table "element": id (primary key), count int32, length double, name and
// ref as text.
struct Fixture
{
    TesselModel model = newModel();
    TesselTable table = model.addDatabase("DB").addTable("element");

    explicit Fixture(TesselDataType pkType = tdtInt64)
    {
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        fields.add("id", pkType);
        fields.add("count", tdtInt32);
        fields.add("length", tdtDouble);
        fields.add("name", tdtString);
        fields.add("ref", tdtString);
        table.tableSchema().setPrimaryKeyFieldIndex(0);
    }
};

class FixedHandler : public TesselQueryIDValueImpl
{
public:
    void doQueryIDValue(ITesselRecord* record, QVariant* value) override
    {
        ++calls;
        seen = TesselRecord(record);
        *value = answer;
    }
    QVariant answer;
    TesselRecord seen;
    int calls = 0;
};

} // namespace

class TestTesselModel : public QObject
{
    Q_OBJECT

private slots:
    void handlesShareOneObjectAndOutliveTheModel()
    {
        const TesselModel empty;
        QVERIFY(empty.isNull() && TesselModel(static_cast<ITesselModel*>(nullptr)).isNull());
        QVERIFY_EXCEPTION_THROWN(empty.databaseCount(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselTable().recordCount(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselExtPropDef().value(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselModelPersistent(empty).loadFromFile("x"), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselEngine().createModel(true, VellEngine()), KRVException);
        QVERIFY_EXCEPTION_THROWN(
            tesselEngine(QString()).createModel(false, VellEngine(nullptr)), KRVException);

        TesselTable table;
        {
            TesselModel model = newModel();
            const TesselModel copy = model;
            model.addDatabase("DB");
            QCOMPARE(copy.databaseCount(), 1);
            QVERIFY(copy == model);
            // A handle built over the object takes its own reference.
            const TesselModel fromPointer(model.get());
            ITesselModel* object = model.get();
            TesselModel moved(std::move(model));
            QVERIFY(model.isNull());
            TesselModel target = newModel();
            target = std::move(moved);
            QVERIFY(moved.isNull() && target.get() == object);
            table = fromPointer.databases(0).addTable("t");
            table.tableSchema().fieldSchemas().add("name", tdtString);
        }
        table.appendRecord(5).setString(0, "still here");
        QCOMPARE(table[0].asString(QStringLiteral("name")), QStringLiteral("still here"));
    }

    void modesDatabasesAndDefinitions()
    {
        TesselModel model = newModel();
        QCOMPARE(model.mode(), tmDesign);
        QVERIFY(model.fetchCommand().isNull());
        model.setMode(tmRuntime);
        TesselMode read = tmDesign;
        model.mode(read);
        QCOMPARE(read, tmRuntime);

        const TesselTable table = model.addDatabase("DB").addTable("project", ttkLookup);
        QCOMPARE(table.tableKind(), ttkLookup);
        QVERIFY(model.findTable("DB", "project") == table);
        QVERIFY(model.findDatabase("DB") == model.databases(0));
        QVERIFY(
            model.findTable("DB", "Project").isNull() && model.findTable("db", "project").isNull());
        QVERIFY_EXCEPTION_THROWN(model.addDatabase("DB"), KRVException);
        QVERIFY_EXCEPTION_THROWN(model.addDatabase(""), KRVException);
        QVERIFY_EXCEPTION_THROWN(model.databases(0).addTable("project"), KRVException);
        QVERIFY_EXCEPTION_THROWN(model.databases(1), KRVException);
        QVERIFY_EXCEPTION_THROWN(model.databases(0).tables().items(1), KRVException);

        // Definitions keep their order and duplicates; codes match exactly.
        TesselExtPropDefs definitions = model.extPropDefs();
        QVERIFY(definitions.find("IgnoreProcessInt64").isNull());
        for (const char* value : { "true", "True" }) {
            TesselExtPropDef definition = definitions.add();
            definition.setCode("IgnoreProcessInt64");
            definition.setValue(value);
        }
        QCOMPARE(model.extPropDefs().count(), 2);
        QVERIFY(model.extPropDefs().find("IgnoreProcessInt64") == definitions.items(0));
        QCOMPARE(model.extPropDefs().items(1).value(), QStringLiteral("True"));
        QVERIFY(!model.extPropDefs().find("ignoreprocessint64"));
        QVERIFY_EXCEPTION_THROWN(definitions.items(2), KRVException);
    }

    void fieldSchemas()
    {
        Fixture f;
        TesselFieldSchemas fields = f.table.tableSchema().fieldSchemas();
        QVERIFY_EXCEPTION_THROWN(fields.add("name", tdtInt32), KRVException);
        QVERIFY_EXCEPTION_THROWN(fields.add("bad", tdtUnknown), KRVException);
        QVERIFY_EXCEPTION_THROWN(fields.add("", tdtInt32), KRVException);
        QCOMPARE(f.table.tableSchema().primaryKeyFieldIndex(), 0);
        QVERIFY_EXCEPTION_THROWN(f.table.tableSchema().setPrimaryKeyFieldIndex(5), KRVException);
        QCOMPARE(f.table.tableSchema().fieldIndex(QStringLiteral("name")), 3);
        QCOMPARE(f.table.tableSchema().fieldIndex(QStringLiteral("Name")), -1);
        QCOMPARE(int(fields.items(0).dataType()), 15);
        QVERIFY_EXCEPTION_THROWN(fields.items(5), KRVException);

        // A field added later reads as empty in the records already there.
        f.table.appendRecord(1);
        fields.add("later", tdtString).extPropDefs().add().setCode("DataType");
        QCOMPARE(f.table[0].asString(QStringLiteral("later")), QString());
        QCOMPARE(fields.items(5).extPropDefs().items(0).code(), QStringLiteral("DataType"));
    }

    void handlerBaseAnswersForItsInterface()
    {
        FixedHandler handler;
        handler.answer = 7;
        void* object = nullptr;
        QCOMPARE(handler.QueryInterface(ITesselQueryIDValueEvent::iid(), &object), long(K_OK));
        QCOMPARE(object, static_cast<void*>(static_cast<ITesselQueryIDValueEvent*>(&handler)));
        QCOMPARE(handler.QueryInterface(QUuid::createUuid(), &object), long(K_NOINTERFACE));
        // References never delete it: a stack object survives extra releases.
        ITesselQueryIDValueEvent* events = &handler;
        events->AddRef();
        events->Release();
        events->Release();
        QVariant value;
        TesselQueryIDValueEvent(events).onQueryIDValue(nullptr, &value);
        QCOMPARE(handler.calls, 1);
        QCOMPARE(value.toInt(), 7);
        QVERIFY_EXCEPTION_THROWN(
            TesselQueryIDValueEvent().onQueryIDValue(nullptr, &value), KRVException);
    }

    void appendTakesIdentifiers_data()
    {
        QTest::addColumn<bool>("withHandler");
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("id"); // 0: from the generator, -1: refused
        const QVariant none;
        QTest::newRow("no handler") << false << none << 0;
        QTest::newRow("unsigned") << true << QVariant::fromValue<qulonglong>(42) << 42;
        QTest::newRow("decimal text") << true << QVariant("42") << 42;
        QTest::newRow("word") << true << QVariant("forty-two") << -1;
        QTest::newRow("negative") << true << QVariant(-1) << -1;
        QTest::newRow("double") << true << QVariant(4.2) << -1;
    }

    void appendTakesIdentifiers()
    {
        QFETCH(bool, withHandler);
        QFETCH(QVariant, answer);
        QFETCH(int, id);
        FixedHandler handler; // outlives the tables that hold it
        handler.answer = answer;
        Fixture f;
        if (withHandler) {
            f.table.setOnQueryIDValue(TesselQueryIDValueEvent(&handler));
            QVERIFY(f.table.onQueryIDValue().get() == &handler);
        }
        if (id < 0) {
            QVERIFY_EXCEPTION_THROWN(f.table.appendRecord(), KRVException);
            QCOMPARE(f.table.recordCount(), 0);
            // The record the handler was shown is gone, not dangling.
            QVERIFY_EXCEPTION_THROWN(handler.seen.id64(), KRVException);
            return;
        }
        const TesselRecord first = f.table.appendRecord();
        const TesselRecord second = f.table.appendRecord();
        QCOMPARE(handler.calls, withHandler ? 2 : 0);
        if (withHandler)
            QVERIFY(handler.seen == second); // shown the new record itself
        if (id > 0)
            QCOMPARE(first.id64(), quint64(id));
        else
            QVERIFY(first.id64() != 0 && second.id64() > first.id64());
        // The identifier lands in the 64-bit primary key too.
        QCOMPARE(first.asUInt64(QStringLiteral("id")), first.id64());

        // Not in a 32-bit one.
        Fixture narrow(tdtInt32);
        const TesselRecord record = narrow.table.appendRecord();
        QVERIFY(record.id64() != 0);
        QCOMPARE(record.asInteger(QStringLiteral("id")), 0);
    }

    void typedReadingNeverTruncates()
    {
        Fixture f;
        TesselRecord record = f.table.appendRecord(1001);
        record.setValue(1, 2);
        record.setValue(2, 2.5);
        record.setValue(3, "墙 Wall");
        record.setString(4, "  9007199254740993 ");
        QCOMPARE(record.asInteger(QStringLiteral("count")), 2);
        QCOMPARE(record.asDouble(2), 2.5);
        QCOMPARE(record.asString(QStringLiteral("name")), QStringLiteral("墙 Wall"));
        QCOMPARE(record.asString(QStringLiteral("count")), QStringLiteral("2"));
        QCOMPARE(record.asUInt64(QStringLiteral("ref")), 9007199254740993ULL);
        QCOMPARE(record.value(1).userType(), int(QMetaType::Int));
        QCOMPARE(record.value(0).userType(), int(QMetaType::LongLong));
        QVERIFY_EXCEPTION_THROWN(record.asInteger("nope"), KRVException);
        QVERIFY_EXCEPTION_THROWN(record.asInteger("name"), KRVException);
        QVERIFY_EXCEPTION_THROWN(f.table[1], KRVException);
        QVERIFY_EXCEPTION_THROWN(f.table[-1], KRVException);

        record.setInt64(0, qint64(1) << 40);
        QVERIFY_EXCEPTION_THROWN(record.asInteger(0), KRVException);
        record.setInt64(0, -5);
        // An identifier field gives its bit pattern as unsigned.
        QCOMPARE(record.asUInt64(0), quint64(-5));
        record.setInteger(1, -5);
        QVERIFY_EXCEPTION_THROWN(record.asUInt64(1), KRVException);
        QVERIFY_EXCEPTION_THROWN(record.asInteger(2), KRVException);

        // A value the field cannot hold is refused and leaves the old one.
        for (const QVariant& value : { QVariant(qint64(1) << 31), QVariant("two"), QVariant(1.5) })
            QVERIFY_EXCEPTION_THROWN(record.setValue(1, value), KRVException);
        QVERIFY_EXCEPTION_THROWN(record.setString(2, "long"), KRVException);
        QCOMPARE(record.asInteger(1), -5);
        QCOMPARE(record.asDouble(2), 2.5);
    }

    void dataTypeConversion_data()
    {
        QTest::addColumn<TesselDataType>("from");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<TesselDataType>("to");
        QTest::addColumn<QVariantList>("expected"); // empty: the conversion is refused
        const QVariantList refused;
        QTest::newRow("decimal text to int64")
            << tdtString << QVariantList { "9007199254740993", " -4 ", QString() } << tdtInt64
            << QVariantList { qint64(9007199254740993LL), qint64(-4), qint64(0) };
        QTest::newRow("integral doubles to int64")
            << tdtDouble << QVariantList { 3.0, -1e15 } << tdtInt64
            << QVariantList { qint64(3), qint64(-1000000000000000LL) };
        QTest::newRow("word to int64")
            << tdtString << QVariantList { "12", "12a" } << tdtInt64 << refused;
        QTest::newRow("fraction to int64")
            << tdtDouble << QVariantList { 3.5 } << tdtInt64 << refused;
    }

    void dataTypeConversion()
    {
        QFETCH(TesselDataType, from);
        QFETCH(QVariantList, values);
        QFETCH(TesselDataType, to);
        QFETCH(QVariantList, expected);
        TesselModel model = newModel();
        TesselTable table = model.addDatabase("DB").addTable("wall");
        TesselFieldSchema field = table.tableSchema().fieldSchemas().add("v", from);
        for (const QVariant& value : values)
            table.appendRecord(77).setValue(0, value);
        const QVariant before = table[0].value(0);
        if (!expected.isEmpty()) {
            field.setDataType(to);
            QCOMPARE(field.dataType(), to);
            for (int row = 0; row < expected.size(); ++row)
                QCOMPARE(table[row].value(0), expected[row]);
            return;
        }
        try {
            field.setDataType(to);
            QFAIL("the conversion should have failed");
        } catch (const KRVException& e) {
            for (const char* part : { "wall", "\"v\"", "77" })
                QVERIFY2(e.message().contains(QLatin1String(part)), qPrintable(e.message()));
        }
        QCOMPARE(field.dataType(), from);
        QCOMPARE(table[0].value(0), before);
    }

    void replacedTextsStayIntact()
    {
        // Replacements of different lengths make the text store reuse and
        // compact its space; every record must keep its own text.
        Fixture f;
        QStringList expected;
        for (int i = 0; i < 300; ++i) {
            expected << QStringLiteral("name %1").arg(i);
            f.table.appendRecord(quint64(i)).setString(3, expected.last());
        }
        for (int round = 0; round < 21; ++round) {
            for (int i = 0; i < expected.size(); i += 1 + round % 3) {
                expected[i] = round == 20
                    ? expected[(i + 1) % 300]
                    : QStringLiteral("%1 ").arg(i).repeated(round % 2 ? 1 : 9);
                f.table[i].setString(3, expected[i]);
            }
        }
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(f.table[i].asString(3), expected[i]);
    }
};

QTEST_GUILESS_MAIN(TestTesselModel)
#include "tst_tesselmodel.moc"
