// Records of the data-model library: appending with and without an
// identifier handler, typed reading, conversions and type-15 conversion.
#include <krvcommon/KRVException.h>
#include <tessel/Tessel.h>

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(TesselDataType)

namespace {

struct Fixture
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselTable table;

    explicit Fixture(TesselDataType pkType = tdtInt64)
    {
        table = model.addDatabase(QStringLiteral("DB")).addTable(QStringLiteral("element"));
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        fields.add(QStringLiteral("id"), pkType);
        fields.add(QStringLiteral("count"), tdtInt32);
        fields.add(QStringLiteral("length"), tdtDouble);
        fields.add(QStringLiteral("name"), tdtString);
        fields.add(QStringLiteral("ref"), tdtString);
        table.tableSchema().setPrimaryKeyFieldIndex(0);
    }
};

class FixedHandler : public TesselQueryIDValueImpl
{
public:
    void doQueryIDValue(ITesselRecord* record, QVariant* value) override
    {
        seen = TesselRecord(record);
        *value = answer;
    }
    QVariant answer;
    TesselRecord seen;
};

} // namespace

class TestTesselRecords : public QObject
{
    Q_OBJECT

private slots:
    void appendWithoutHandlerTakesNewIds()
    {
        Fixture f;
        const TesselRecord first = f.table.appendRecord();
        const TesselRecord second = f.table.appendRecord();
        QVERIFY(first.id64() != 0);
        QVERIFY(second.id64() > first.id64());
        // The identifier lands in the 64-bit primary key too.
        QCOMPARE(first.asUInt64(QStringLiteral("id")), first.id64());
        QCOMPARE(f.table.recordCount(), 2);
    }

    void appendWithHandlerTakesItsIds()
    {
        // The handler outlives the tables that hold it.
        FixedHandler handler;
        Fixture f;
        handler.answer = QVariant::fromValue<qulonglong>(0xFEDCBA9876543210ULL);
        f.table.setOnQueryIDValue(TesselQueryIDValueEvent(&handler));
        QVERIFY(f.table.onQueryIDValue().get() == static_cast<ITesselQueryIDValueEvent*>(&handler));

        const TesselRecord record = f.table.appendRecord();
        QCOMPARE(record.id64(), 0xFEDCBA9876543210ULL);
        QCOMPARE(record.asUInt64(QStringLiteral("id")), 0xFEDCBA9876543210ULL);
        // The handler was shown the new record itself.
        QVERIFY(handler.seen == record);

        // Removing the handler brings the generator back.
        f.table.setOnQueryIDValue(TesselQueryIDValueEvent());
        QVERIFY(f.table.appendRecord().id64() != 0xFEDCBA9876543210ULL);
    }

    void handlerAnswers_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<quint64>("id");
        QTest::newRow("unsigned") << QVariant::fromValue<qulonglong>(42) << true << quint64(42);
        QTest::newRow("int") << QVariant(42) << true << quint64(42);
        QTest::newRow("decimal text") << QVariant(QStringLiteral("18446744073709551615")) << true
                                      << quint64(18446744073709551615ULL);
        QTest::newRow("word") << QVariant(QStringLiteral("forty-two")) << false << quint64(0);
        QTest::newRow("negative") << QVariant(-1) << false << quint64(0);
        QTest::newRow("double") << QVariant(4.2) << false << quint64(0);
    }

    void handlerAnswers()
    {
        QFETCH(QVariant, answer);
        QFETCH(bool, accepted);
        QFETCH(quint64, id);
        // The handler outlives the tables that hold it.
        FixedHandler handler;
        Fixture f;
        handler.answer = answer;
        f.table.setOnQueryIDValue(TesselQueryIDValueEvent(&handler));
        if (accepted) {
            QCOMPARE(f.table.appendRecord().id64(), id);
        } else {
            QVERIFY_EXCEPTION_THROWN(f.table.appendRecord(), KRVException);
            QCOMPARE(f.table.recordCount(), 0);
        }
    }

    void emptyAnswerFallsBackToNewId()
    {
        // The handler outlives the tables that hold it.
        FixedHandler handler;
        Fixture f;
        f.table.setOnQueryIDValue(TesselQueryIDValueEvent(&handler));
        QVERIFY(f.table.appendRecord().id64() != 0);
    }

    void int32PrimaryKeyKeepsItsValue()
    {
        Fixture f(tdtInt32);
        const TesselRecord record = f.table.appendRecord();
        QVERIFY(record.id64() != 0);
        QCOMPARE(record.asInteger(QStringLiteral("id")), 0);
    }

    void typedReadingAndWriting()
    {
        Fixture f;
        TesselRecord record = f.table.appendRecord(1001);
        record.setValue(QStringLiteral("count"), 2);
        record.setValue(QStringLiteral("length"), 2.5);
        record.setValue(QStringLiteral("name"), QStringLiteral("墙 Wall"));
        record.setString(4, QStringLiteral("  9007199254740993 "));

        QCOMPARE(record.asInteger(QStringLiteral("count")), 2);
        QCOMPARE(record.asDouble(QStringLiteral("length")), 2.5);
        QCOMPARE(record.asString(QStringLiteral("name")), QStringLiteral("墙 Wall"));
        QCOMPARE(record.asString(QStringLiteral("count")), QStringLiteral("2"));
        QCOMPARE(record.asUInt64(QStringLiteral("ref")), 9007199254740993ULL);
        QCOMPARE(record.value(1).userType(), int(QMetaType::Int));
        QCOMPARE(record.value(0).userType(), int(QMetaType::LongLong));
        QCOMPARE(record.value(QStringLiteral("name")).toString(), QStringLiteral("墙 Wall"));

        QVERIFY_EXCEPTION_THROWN(record.asInteger(QStringLiteral("nope")), KRVException);
        QVERIFY_EXCEPTION_THROWN(record.asInteger(QStringLiteral("name")), KRVException);
        QVERIFY_EXCEPTION_THROWN(f.table[1], KRVException);
        QVERIFY_EXCEPTION_THROWN(f.table[-1], KRVException);
    }

    void readingNeverTruncatesSilently()
    {
        Fixture f;
        TesselRecord record = f.table.appendRecord(1);
        record.setInt64(0, qint64(1) << 40);
        QVERIFY_EXCEPTION_THROWN(record.asInteger(0), KRVException);
        record.setInt64(0, -5);
        // An identifier field gives its bit pattern as unsigned.
        QCOMPARE(record.asUInt64(0), quint64(-5));
        record.setInteger(1, -5);
        QVERIFY_EXCEPTION_THROWN(record.asUInt64(1), KRVException);
        record.setDouble(2, 2.5);
        QVERIFY_EXCEPTION_THROWN(record.asInteger(2), KRVException);
    }

    void refusedValuesLeaveTheOldOne_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("int32 above range") << 1 << QVariant(qint64(1) << 31);
        QTest::newRow("int32 from word") << 1 << QVariant(QStringLiteral("two"));
        QTest::newRow("int32 from fraction") << 1 << QVariant(1.5);
        QTest::newRow("int64 from fraction text") << 0 << QVariant(QStringLiteral("1.5"));
        QTest::newRow("int64 above 2^64") << 0 << QVariant(QStringLiteral("18446744073709551616"));
        QTest::newRow("double from word") << 2 << QVariant(QStringLiteral("long"));
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

    void conversionToInt64_data()
    {
        QTest::addColumn<TesselDataType>("from");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("int32") << tdtInt32 << QVariantList { 1, -2, 2147483647 } << true
                               << QList<qint64> { 1, -2, 2147483647 };
        QTest::newRow("decimal text") << tdtString
                                      << QVariantList { QStringLiteral("9007199254740993"),
                                             QStringLiteral(" -4 "), QString() }
                                      << true << QList<qint64> { 9007199254740993LL, -4, 0 };
        QTest::newRow("identifier above 2^63")
            << tdtString << QVariantList { QStringLiteral("18446744073709551615") } << true
            << QList<qint64> { -1 };
        QTest::newRow("integral doubles") << tdtDouble << QVariantList { 3.0, -1e15 } << true
                                          << QList<qint64> { 3, -1000000000000000LL };
        QTest::newRow("word") << tdtString
                              << QVariantList { QStringLiteral("12"), QStringLiteral("12a") }
                              << false << QList<qint64> {};
        QTest::newRow("fraction") << tdtDouble << QVariantList { 3.5 } << false << QList<qint64> {};
    }

    void conversionToInt64()
    {
        QFETCH(TesselDataType, from);
        QFETCH(QVariantList, values);
        QFETCH(bool, converts);
        QFETCH(QList<qint64>, expected);
        TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
        TesselTable table = model.addDatabase(QStringLiteral("DB")).addTable(QStringLiteral("t"));
        TesselFieldSchema field = table.tableSchema().fieldSchemas().add(QStringLiteral("v"), from);
        for (const QVariant& value : values)
            table.appendRecord(1).setValue(0, value);

        TesselDataType target = static_cast<TesselDataType>(15);
        if (!converts) {
            QVERIFY_EXCEPTION_THROWN(field.setDataType(target), KRVException);
            QCOMPARE(field.dataType(), from);
            QCOMPARE(table[0].asString(0), values[0].toString());
            return;
        }
        field.setDataType(target);
        QCOMPARE(int(field.dataType()), 15);
        for (int row = 0; row < expected.size(); ++row)
            QCOMPARE(table[row].asInt64(0), expected[row]);
        // Setting the same type again keeps the values.
        field.setDataType(target);
        QCOMPARE(table[0].asInt64(0), expected[0]);
    }

    void conversionErrorNamesTheRecord()
    {
        Fixture f;
        f.table.appendRecord(77).setString(3, QStringLiteral("Wall"));
        try {
            f.table.tableSchema().fieldSchemas().items(3).setDataType(tdtInt64);
            QFAIL("the conversion should have failed");
        } catch (const KRVException& e) {
            QVERIFY2(e.message().contains(QLatin1String("element")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QLatin1String("name")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QLatin1String("77")), qPrintable(e.message()));
        }
    }

    void sameValuesComparesValuesNotIdentity()
    {
        Fixture a;
        Fixture b;
        TesselRecord left = a.table.appendRecord(1);
        TesselRecord right = b.table.appendRecord(2);
        for (TesselRecord* record : { &left, &right }) {
            record->setInt64(0, 5);
            record->setString(3, QStringLiteral("same"));
            record->setDouble(2, 0.1);
        }
        QVERIFY(left.sameValues(right));
        QVERIFY(left != right);
        right.setString(4, QStringLiteral("x"));
        QVERIFY(!left.sameValues(right));

        Fixture other(tdtInt32);
        TesselRecord narrow = other.table.appendRecord(1);
        narrow.setInteger(0, 5);
        narrow.setString(3, QStringLiteral("same"));
        narrow.setDouble(2, 0.1);
        QVERIFY(!left.sameValues(narrow));
    }

    void indexOfIdFollowsAppends()
    {
        Fixture f;
        f.table.appendRecord(10);
        f.table.appendRecord(20);
        f.table.appendRecord(10);
        QCOMPARE(f.table.indexOfId(10), 0);
        QCOMPARE(f.table.indexOfId(30), -1);
        f.table.appendRecord(30);
        QCOMPARE(f.table.indexOfId(30), 3);
        const TesselRecord fresh = f.table.appendRecord();
        QCOMPARE(f.table.indexOfId(fresh.id64()), 4);
        f.table[1].setId64(99);
        QCOMPARE(f.table.indexOfId(99), 1);
        QCOMPARE(f.table.indexOfId(20), -1);
    }

    void replacedTextsStayIntact()
    {
        // Many replacements of different lengths make the text store reuse
        // and compact its space; every record must keep its own text.
        Fixture f;
        const int count = 300;
        for (int i = 0; i < count; ++i)
            f.table.appendRecord(quint64(i)).setString(3, QStringLiteral("name %1").arg(i));
        for (int round = 0; round < 20; ++round) {
            for (int i = 0; i < count; i += 1 + round % 3) {
                const QString text = round % 2
                    ? QStringLiteral("%1").arg(i)
                    : QStringLiteral("a much longer name for %1, round %2").arg(i).arg(round);
                f.table[i].setString(3, text);
            }
        }
        QStringList texts;
        for (int i = 0; i < count; ++i) {
            texts << f.table[i].asString(3);
            QVERIFY2(texts.last().contains(QString::number(i)), qPrintable(texts.last()));
        }
        // Copying values between records of the same store.
        for (int i = 0; i < count; ++i)
            f.table[i].setString(3, texts[(i + 1) % count]);
        for (int i = 0; i < count; ++i)
            QCOMPARE(f.table[i].asString(3), texts[(i + 1) % count]);
    }

    void conversionToOtherTypes_data()
    {
        QTest::addColumn<TesselDataType>("from");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<TesselDataType>("to");
        QTest::addColumn<QVariant>("expected"); // invalid: the conversion is refused
        QTest::newRow("int64 to text") << tdtInt64 << QVariant(qint64(9007199254740993LL))
                                       << tdtString << QVariant(QStringLiteral("9007199254740993"));
        QTest::newRow("double to text")
            << tdtDouble << QVariant(0.1) << tdtString << QVariant(QStringLiteral("0.1"));
        QTest::newRow("text to double")
            << tdtString << QVariant(QStringLiteral(" 2.5 ")) << tdtDouble << QVariant(2.5);
        QTest::newRow("word to double")
            << tdtString << QVariant(QStringLiteral("wide")) << tdtDouble << QVariant();
        QTest::newRow("text to bool")
            << tdtString << QVariant(QStringLiteral("true")) << tdtBoolean << QVariant(true);
        QTest::newRow("two to bool") << tdtInt32 << QVariant(2) << tdtBoolean << QVariant();
        QTest::newRow("int64 to int32 in range")
            << tdtInt64 << QVariant(qint64(-7)) << tdtInt32 << QVariant(-7);
        QTest::newRow("int64 to int32 beyond")
            << tdtInt64 << QVariant(qint64(1) << 33) << tdtInt32 << QVariant();
    }

    void conversionToOtherTypes()
    {
        QFETCH(TesselDataType, from);
        QFETCH(QVariant, value);
        QFETCH(TesselDataType, to);
        QFETCH(QVariant, expected);
        TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
        TesselTable table = model.addDatabase(QStringLiteral("DB")).addTable(QStringLiteral("t"));
        TesselFieldSchema field = table.tableSchema().fieldSchemas().add(QStringLiteral("v"), from);
        table.appendRecord(1).setValue(0, value);
        const QVariant before = table[0].value(0);
        if (!expected.isValid()) {
            QVERIFY_EXCEPTION_THROWN(field.setDataType(to), KRVException);
            QCOMPARE(field.dataType(), from);
            QCOMPARE(table[0].value(0), before);
            return;
        }
        field.setDataType(to);
        QCOMPARE(table[0].value(0), expected);
    }

    void newFieldsFillExistingRecords()
    {
        Fixture f;
        f.table.appendRecord(1);
        f.table.tableSchema().fieldSchemas().add(QStringLiteral("later"), tdtString);
        QCOMPARE(f.table[0].asString(QStringLiteral("later")), QString());
        QCOMPARE(f.table[0].fieldCount(), 6);
    }
};

QTEST_GUILESS_MAIN(TestTesselRecords)
#include "tst_tesselrecords.moc"
