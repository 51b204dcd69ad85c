// The JSON reader of the tessel tool: exact numbers, escapes and the place of
// every fault.
#include "JsonError.h"
#include "JsonReader.h"

#include <QtTest>

class TestJsonReader : public QObject
{
    Q_OBJECT

private slots:
    void valuesKeepTheirTextAndPlace()
    {
        const JsonValue value = JsonReader::parse(
            "{\"n\": [18446744073709551615, -0.5e-3, 9007199254740993],\n"
            " \"a\": \"\\\"\\\\\\/\\b\\f\\n\\r\\t\", \"b\": \"\\u5899\\ud83d\\ude00\",\n"
            "  \"c\": [\"墙\", null]}");
        const JsonValue& numbers = *value.member("n");
        QCOMPARE(numbers.items.size(), size_t(3));
        QCOMPARE(numbers.items[0].text, "18446744073709551615");
        QCOMPARE(numbers.items[1].text, "-0.5e-3");
        QCOMPARE(numbers.items[2].text, "9007199254740993");
        QCOMPARE(value.member("a")->text, "\"\\/\b\f\n\r\t");
        QCOMPARE(value.member("b")->text, QString::fromUtf8("墙\xF0\x9F\x98\x80"));
        QVERIFY(value.member("d") == nullptr);

        const JsonValue& last = *value.member("c");
        QCOMPARE(last.items[0].text, QString::fromUtf8("墙"));
        QCOMPARE(last.line, 3);
        QCOMPARE(last.column, 8);
        QCOMPARE(last.items[1].type, JsonValue::Null);
        QCOMPARE(last.items[1].line, 3);
        QCOMPARE(last.items[1].column, 14); // counted in characters, not bytes
    }

    void faultsArePlaced_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("fault");
        auto row = [](const char* name, const QByteArray& json, int line, int column,
                       const char* fault) {
            QTest::newRow(name) << json << line << column << QString::fromUtf8(fault);
        };
        row("empty", "", 1, 1, "unexpected end");
        row("missing comma", "{\"a\": 1 \"b\": 2}", 1, 9, "',' or '}' expected");
        row("trailing text", "{}\n x", 2, 2, "after the JSON value");
        row("bare word", "[tru]", 1, 5, "'true' expected");
        row("leading zero", "[01]", 1, 3, "',' or ']' expected");
        row("bad escape", "[\"a\\x\"]", 1, 5, "unknown escape");
        row("lone surrogate", "[\"\\ud800\"]", 1, 9, "unpaired surrogate");
        row("newline in string", "[\"a\nb\"]", 1, 4, "control character");
        row("column counts characters", "[\"墙墙\" 1]", 1, 7, "',' or ']' expected");
        row("unterminated string", "[\"abc", 1, 6, "inside a string");
        row("nesting", QByteArray(300, '['), 1, 258, "nested too deeply");
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
            QVERIFY(e.message().startsWith(QString("line %1, column %2: ").arg(line).arg(column)));
        }
    }
};

QTEST_GUILESS_MAIN(TestJsonReader)
#include "tst_jsonreader.moc"
