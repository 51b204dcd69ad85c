// The JSON reader of the tessel tool: exact numbers, escapes and the place of
// every fault.
#include "JsonError.h"
#include "JsonReader.h"

#include <QtTest>

class TestJsonReader : public QObject
{
    Q_OBJECT

private slots:
    void numbersKeepTheirText()
    {
        const JsonValue value
            = JsonReader::parse("[18446744073709551615, -0.5e-3, 9007199254740993]");
        QCOMPARE(value.items.size(), size_t(3));
        QCOMPARE(value.items[0].text, QStringLiteral("18446744073709551615"));
        QCOMPARE(value.items[1].text, QStringLiteral("-0.5e-3"));
        QCOMPARE(value.items[2].text, QStringLiteral("9007199254740993"));
    }

    void stringsAndEscapes()
    {
        const JsonValue value = JsonReader::parse("{\"a\": \"\\\"\\\\\\/\\b\\f\\n\\r\\t\", \"b\": "
                                                  "\"\\u5899\\ud83d\\ude00\", \"c\": \"墙\"}");
        ;
        QCOMPARE(value.member(QStringLiteral("a"))->text, QStringLiteral("\"\\/\b\f\n\r\t"));
        QCOMPARE(value.member(QStringLiteral("b"))->text, QString::fromUtf8("墙\xF0\x9F\x98\x80"));
        QCOMPARE(value.member(QStringLiteral("c"))->text, QString::fromUtf8("墙"));
        QVERIFY(value.member(QStringLiteral("d")) == nullptr);
    }

    void valuesRememberTheirPlace()
    {
        const JsonValue value = JsonReader::parse("{\n  \"a\": [true,\n    null]}");
        const JsonValue& array = *value.member(QStringLiteral("a"));
        QCOMPARE(array.line, 2);
        QCOMPARE(array.column, 8);
        QCOMPARE(array.items[1].type, JsonValue::Null);
        QCOMPARE(array.items[1].line, 3);
        QCOMPARE(array.items[1].column, 5);
    }

    void faultsArePlaced_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("fault");
        QTest::newRow("empty") << QByteArray() << 1 << 1 << QStringLiteral("unexpected end");
        QTest::newRow("missing comma")
            << QByteArray("{\"a\": 1 \"b\": 2}") << 1 << 9 << QStringLiteral("',' or '}' expected");
        QTest::newRow("trailing text")
            << QByteArray("{}\n x") << 2 << 2 << QStringLiteral("after the JSON value");
        QTest::newRow("bare word")
            << QByteArray("[tru]") << 1 << 5 << QStringLiteral("'true' expected");
        QTest::newRow("leading zero")
            << QByteArray("[01]") << 1 << 3 << QStringLiteral("',' or ']' expected");
        QTest::newRow("bad escape")
            << QByteArray("[\"a\\x\"]") << 1 << 5 << QStringLiteral("unknown escape");
        QTest::newRow("lone surrogate")
            << QByteArray("[\"\\ud800\"]") << 1 << 9 << QStringLiteral("unpaired surrogate");
        QTest::newRow("newline in string")
            << QByteArray("[\"a\nb\"]") << 1 << 4 << QStringLiteral("control character");
        QTest::newRow("column counts characters")
            << QByteArray("[\"墙墙\" 1]") << 1 << 7 << QStringLiteral("',' or ']' expected");
        QTest::newRow("unterminated string")
            << QByteArray("[\"abc") << 1 << 6 << QStringLiteral("inside a string");
        QTest::newRow("nesting") << QByteArray(300, '[') << 1 << 258
                                 << QStringLiteral("nested too deeply");
    }

    void faultsArePlaced()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QString, fault);
        try {
            JsonReader::parse(json);
            QFAIL("the text should have been refused");
        } catch (const JsonError& e) {
            QVERIFY2(e.message().contains(fault), qPrintable(e.message()));
            QCOMPARE(e.line(), line);
            QCOMPARE(e.column(), column);
            QVERIFY(e.message().startsWith(
                QStringLiteral("line %1, column %2: ").arg(line).arg(column)));
        }
    }
};

QTEST_GUILESS_MAIN(TestJsonReader)
#include "tst_jsonreader.moc"
