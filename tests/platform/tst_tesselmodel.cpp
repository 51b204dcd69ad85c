// The data-model library in memory: handles, definitions, fields, records,
// identifiers and type conversions.
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
    void nullHandlesTestAndRaise()
    {
        const TesselModel empty;
        QVERIFY(empty.isNull() && !empty);
        QVERIFY(TesselModel(static_cast<ITesselModel*>(nullptr)).isNull());
        QVERIFY_EXCEPTION_THROWN(empty.databaseCount(), KRVException);
        QVERIFY_EXCEPTION_THROWN(empty.mode(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselTable().recordCount(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselRecord().id64(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselExtPropDef().value(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselModelPersistent(empty).loadFromFile("x"), KRVException);
        QVERIFY(VellEngine(nullptr).isNull());
        QVERIFY(TesselQueryIDValueEvent(nullptr).isNull());
        QCOMPARE(TesselCommand().changeCount(), 0);
    }

    void handlesShareOneObject()
    {
        TesselTable table;
        {
            TesselModel model = newModel();
            const TesselModel copy = model;
            model.addDatabase("DB");
            QCOMPARE(copy.databaseCount(), 1);
            QVERIFY(copy == model);
            // A handle built over the object takes its own reference.
            const TesselModel fromPointer(model.get());
            QCOMPARE(fromPointer.databases(0).name(), QStringLiteral("DB"));

            ITesselModel* object = model.get();
            TesselModel moved(std::move(model));
            QVERIFY(model.isNull());
            TesselModel target = newModel();
            target = std::move(moved);
            QVERIFY(moved.isNull());
            QCOMPARE(target.get(), object);
            table = target.databases(0).addTable("t");
            table.tableSchema().fieldSchemas().add("name", tdtString);
        }
        // Parts outlive their model.
        table.appendRecord(5).setString(0, "still here");
        QCOMPARE(table[0].asString(QStringLiteral("name")), QStringLiteral("still here"));
    }

    void enginesModesAndTables()
    {
        QVERIFY(tesselEngine(QString()).get() == tesselEngine(QString()).get());
        QVERIFY(tesselEngine("other").get() != tesselEngine(QString()).get());
        QCOMPARE(tesselEngine(QStringLiteral("other")).name(), QStringLiteral("other"));
        // A model bound to the graphics engine needs one.
        QVERIFY_EXCEPTION_THROWN(
            tesselEngine(QString()).createModel(false, VellEngine()), KRVException);

        TesselModel model = newModel();
        QCOMPARE(model.mode(), tmDesign);
        model.fetchCommand();
        QCOMPARE(model.fetchCommand().changeCount(), 0);
        TesselMode mode = tmRuntime;
        model.setMode(mode);
        TesselMode read = tmDesign;
        model.mode(read);
        QCOMPARE(read, tmRuntime);
        model.extPropDefs().add().setCode("x");
        // The fetched command hands over what changed since the last fetch.
        QCOMPARE(model.fetchCommand().changeCount(), 3);
        QCOMPARE(model.fetchCommand().changeCount(), 0);

        const TesselTable table = model.addDatabase("DB").addTable("project");
        QVERIFY(model.findTable("DB", "project") == table);
        QVERIFY(model.findTable("DB", "Project").isNull());
        QVERIFY(model.findTable("db", "project").isNull());
        QVERIFY_EXCEPTION_THROWN(model.addDatabase("DB"), KRVException);
        QVERIFY_EXCEPTION_THROWN(model.databases(0).addTable("project"), KRVException);
        QVERIFY_EXCEPTION_THROWN(model.databases(1), KRVException);
    }

    void extPropDefsKeepOrderAndDuplicates()
    {
        TesselModel model = newModel();
        TesselExtPropDefs definitions = model.extPropDefs();
        QVERIFY(definitions.find("IgnoreProcessInt64").isNull());
        TesselExtPropDef first = definitions.add();
        first.setCode("IgnoreProcessInt64");
        first.setValue("true");
        TesselExtPropDef second = definitions.add();
        second.setCode("IgnoreProcessInt64");
        second.setValue("True");

        QCOMPARE(model.extPropDefs().count(), 2);
        QVERIFY(model.extPropDefs().find("IgnoreProcessInt64") == first);
        QCOMPARE(model.extPropDefs().items(1).value(), QStringLiteral("True"));
        QVERIFY(model.extPropDefs().find("ignoreprocessint64").isNull());
        model.extPropDefs().remove(0);
        QCOMPARE(model.extPropDefs().find(QStringLiteral("IgnoreProcessInt64")).value(), "True");
    }

    void fieldSchemasByIndexAndName()
    {
        TesselModel model = newModel();
        TesselTable table = model.addDatabase("DB").addTable("t", ttkLookup);
        QCOMPARE(table.tableKind(), ttkLookup);
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        fields.add("id", tdtInt64);
        fields.add("name", tdtString);
        QVERIFY_EXCEPTION_THROWN(fields.add("name", tdtInt32), KRVException);
        QVERIFY_EXCEPTION_THROWN(fields.add("bad", tdtUnknown), KRVException);
        QCOMPARE(table.tableSchema().primaryKeyFieldIndex(), -1);
        table.tableSchema().setPrimaryKeyFieldIndex(0);
        QVERIFY_EXCEPTION_THROWN(table.tableSchema().setPrimaryKeyFieldIndex(2), KRVException);
        QCOMPARE(table.tableSchema().fieldIndex(QStringLiteral("name")), 1);
        QCOMPARE(fields.find(QStringLiteral("name")).index(), 1);
        QVERIFY(fields.find("none").isNull());
        TesselDataType type = tdtUnknown;
        fields.items(0).dataType(type);
        QCOMPARE(int(type), 15);
        QVERIFY_EXCEPTION_THROWN(fields.items(2), KRVException);

        // A field added later reads as empty in the records already there.
        table.appendRecord(1);
        fields.add("later", tdtString);
        QCOMPARE(table[0].asString(QStringLiteral("later")), QString());
        QCOMPARE(table[0].fieldCount(), 3);
    }

    void handlerBaseAnswersForItsInterface()
    {
        FixedHandler handler;
        handler.answer = 7;
        void* object = nullptr;
        QCOMPARE(handler.QueryInterface(ITesselQueryIDValueEvent::iid(), &object), long(K_OK));
        QCOMPARE(object, static_cast<void*>(static_cast<ITesselQueryIDValueEvent*>(&handler)));
        QCOMPARE(handler.QueryInterface(IKUnknown::iid(), &object), long(K_OK));
        QCOMPARE(handler.QueryInterface(QUuid::createUuid(), &object), long(K_NOINTERFACE));
        // References never delete it: a stack object survives extra releases.
        ITesselQueryIDValueEvent* events = &handler;
        events->AddRef();
        events->Release();
        events->Release();
        QVariant value;
        events->onQueryIDValue(nullptr, &value);
        QCOMPARE(handler.calls, 1);
        QCOMPARE(value.toInt(), 7);
    }

    void appendTakesIdentifiers_data()
    {
        QTest::addColumn<bool>("withHandler");
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("id"); // 0: from the generator, -1: refused
        const QVariant none;
        QTest::newRow("no handler") << false << none << 0;
        QTest::newRow("handler leaves the answer empty") << true << none << 0;
        QTest::newRow("unsigned") << true << QVariant::fromValue<qulonglong>(42) << 42;
        QTest::newRow("int") << true << QVariant(42) << 42;
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
            QVERIFY(
                f.table.onQueryIDValue().get() == static_cast<ITesselQueryIDValueEvent*>(&handler));
        }
        if (id < 0) {
            QVERIFY_EXCEPTION_THROWN(f.table.appendRecord(), KRVException);
            QCOMPARE(f.table.recordCount(), 0);
            return;
        }
        const TesselRecord first = f.table.appendRecord();
        const TesselRecord second = f.table.appendRecord();
        QCOMPARE(handler.calls, withHandler ? 2 : 0);
        if (withHandler)
            QVERIFY(handler.seen == second); // shown the new record itself
        if (id > 0) {
            QCOMPARE(first.id64(), quint64(id));
        } else {
            QVERIFY(first.id64() != 0);
            QVERIFY(second.id64() > first.id64());
        }
        // The identifier lands in the 64-bit primary key too.
        QCOMPARE(first.asUInt64(QStringLiteral("id")), first.id64());
        QCOMPARE(f.table.recordCount(), 2);
    }

    void handlerGivesFullRangeAndCanBeRemoved()
    {
        FixedHandler handler;
        handler.answer = "18446744073709551615";
        Fixture f;
        f.table.setOnQueryIDValue(TesselQueryIDValueEvent(&handler));
        QCOMPARE(f.table.appendRecord().id64(), 18446744073709551615ULL);
        f.table.setOnQueryIDValue(TesselQueryIDValueEvent());
        const TesselRecord generated = f.table.appendRecord();
        QVERIFY(generated.id64() != 0 && generated.id64() != 18446744073709551615ULL);
        QCOMPARE(handler.calls, 1);

        // A 32-bit primary key is not overwritten with the identifier.
        Fixture narrow(tdtInt32);
        const TesselRecord record = narrow.table.appendRecord();
        QVERIFY(record.id64() != 0);
        QCOMPARE(record.asInteger(QStringLiteral("id")), 0);
    }

    void typedReadingNeverTruncates()
    {
        Fixture f;
        TesselRecord record = f.table.appendRecord(1001);
        record.setValue("count", 2);
        record.setValue("length", 2.5);
        record.setValue("name", "墙 Wall");
        record.setString(4, "  9007199254740993 ");
        QCOMPARE(record.asInteger(QStringLiteral("count")), 2);
        QCOMPARE(record.asDouble(QStringLiteral("length")), 2.5);
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
    }

    void refusedValuesLeaveTheOldOne_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("int32 above range") << 1 << QVariant(qint64(1) << 31);
        QTest::newRow("int32 from word") << 1 << QVariant("two");
        QTest::newRow("int32 from fraction") << 1 << QVariant(1.5);
        QTest::newRow("int64 from fraction text") << 0 << QVariant("1.5");
        QTest::newRow("int64 above 2^64") << 0 << QVariant("18446744073709551616");
        QTest::newRow("double from word") << 2 << QVariant("long");
    }

    void refusedValuesLeaveTheOldOne()
    {
        QFETCH(int, field);
        QFETCH(QVariant, value);
        Fixture f;
        TesselRecord record = f.table.appendRecord(1);
        record.setValue(field, 7);
        QVERIFY_EXCEPTION_THROWN(record.setValue(field, value), KRVException);
        QCOMPARE(record.asInteger(field), 7);
    }

    void dataTypeConversion_data()
    {
        QTest::addColumn<TesselDataType>("from");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<TesselDataType>("to");
        QTest::addColumn<QVariantList>("expected"); // empty: the conversion is refused
        const QVariantList refused;
        QTest::newRow("int32 to int64")
            << tdtInt32 << QVariantList { 1, -2, 2147483647 } << tdtInt64
            << QVariantList { qint64(1), qint64(-2), qint64(2147483647) };
        QTest::newRow("decimal text to int64")
            << tdtString << QVariantList { "9007199254740993", " -4 ", QString() } << tdtInt64
            << QVariantList { qint64(9007199254740993LL), qint64(-4), qint64(0) };
        QTest::newRow("identifier above 2^63 to int64")
            << tdtString << QVariantList { "18446744073709551615" } << tdtInt64
            << QVariantList { qint64(-1) };
        QTest::newRow("integral doubles to int64")
            << tdtDouble << QVariantList { 3.0, -1e15 } << tdtInt64
            << QVariantList { qint64(3), qint64(-1000000000000000LL) };
        QTest::newRow("word to int64")
            << tdtString << QVariantList { "12", "12a" } << tdtInt64 << refused;
        QTest::newRow("fraction to int64")
            << tdtDouble << QVariantList { 3.5 } << tdtInt64 << refused;
        QTest::newRow("int64 to int64") << tdtInt64 << QVariantList { qint64(1) << 40 } << tdtInt64
                                        << QVariantList { qint64(1) << 40 };
        QTest::newRow("int64 to text") << tdtInt64 << QVariantList { qint64(9007199254740993LL) }
                                       << tdtString << QVariantList { "9007199254740993" };
        QTest::newRow("text to double")
            << tdtString << QVariantList { " 2.5 " } << tdtDouble << QVariantList { 2.5 };
        QTest::newRow("word to double")
            << tdtString << QVariantList { "wide" } << tdtDouble << refused;
        QTest::newRow("int64 to int32 beyond")
            << tdtInt64 << QVariantList { qint64(1) << 33 } << tdtInt32 << refused;
    }

    void dataTypeConversion()
    {
        QFETCH(TesselDataType, from);
        QFETCH(QVariantList, values);
        QFETCH(TesselDataType, to);
        QFETCH(QVariantList, expected);
        TesselModel model = newModel();
        TesselTable table = model.addDatabase("DB").addTable("t");
        TesselFieldSchema field = table.tableSchema().fieldSchemas().add("v", from);
        for (const QVariant& value : values)
            table.appendRecord(1).setValue(0, value);
        const QVariant before = table[0].value(0);
        if (expected.isEmpty()) {
            QVERIFY_EXCEPTION_THROWN(field.setDataType(to), KRVException);
            QCOMPARE(field.dataType(), from);
            QCOMPARE(table[0].value(0), before);
            return;
        }
        field.setDataType(to);
        QCOMPARE(field.dataType(), to);
        for (int row = 0; row < expected.size(); ++row)
            QCOMPARE(table[row].value(0), expected[row]);
    }

    void conversionErrorNamesTheRecord()
    {
        Fixture f;
        f.table.appendRecord(77).setString(3, "Wall");
        try {
            f.table.tableSchema().fieldSchemas().items(3).setDataType(tdtInt64);
            QFAIL("the conversion should have failed");
        } catch (const KRVException& e) {
            for (const char* part : { "element", "name", "77" })
                QVERIFY2(e.message().contains(QLatin1String(part)), qPrintable(e.message()));
        }
    }

    void sameValuesComparesValuesNotIdentity()
    {
        Fixture a, b, narrow(tdtInt32);
        TesselRecord left = a.table.appendRecord(1);
        TesselRecord right = b.table.appendRecord(2);
        TesselRecord narrowRecord = narrow.table.appendRecord(1);
        for (TesselRecord* record : { &left, &right, &narrowRecord }) {
            record->setValue(0, 5);
            record->setString(3, "same");
            record->setDouble(2, 0.1);
        }
        QVERIFY(left.sameValues(right));
        QVERIFY(left != right);
        QVERIFY(!left.sameValues(narrowRecord));
        right.setString(4, "x");
        QVERIFY(!left.sameValues(right));
    }

    void indexOfIdFollowsAppends()
    {
        Fixture f;
        for (quint64 id : { 10, 20, 10, 30 })
            f.table.appendRecord(id);
        f.table[1].setId64(99);
        QCOMPARE(QList<int>({ f.table.indexOfId(10), f.table.indexOfId(20), f.table.indexOfId(30),
                     f.table.indexOfId(99), f.table.indexOfId(f.table.appendRecord().id64()) }),
            QList<int>({ 0, -1, 3, 1, 4 }));
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
