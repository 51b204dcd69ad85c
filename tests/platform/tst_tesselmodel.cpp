// The data-model library as the library and its hosts use it: handles that
// outlive the model, the conversion of identifier texts, and damaged model
// files.
#include "ProjectFolders.h"

#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/ksqlite/KSqlDatabase.h>

#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

using namespace ProjectFolders;

class TestTesselModel : public QObject
{
    Q_OBJECT

private slots:
    // A host keeps the tables the project handed out after it closed. Identifiers
    // arrive as decimal texts, some blank or empty: exact values, never through a
    // double, those above 2^63 as their bit pattern.
    void tablesOutliveTheModel()
    {
        QVERIFY_EXCEPTION_THROWN(TesselTable().recordCount(), KRVException);
        TesselTable table = newModel().addDatabase("DB").addTable("element");
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        fields.add("id", tdtInt64);
        TesselFieldSchema text = fields.add("text", tdtString);
        table.tableSchema().setPrimaryKeyFieldIndex(0);
        // Without a handler the identifiers come from the library's generator.
        const TesselRecord first = table.appendRecord();
        QCOMPARE(first.asUInt64(QStringLiteral("id")), first.id64());
        for (const char* value : { "9007199254740993", " -4 ", "", "18446744073709551615" })
            table.appendRecord(77).setString(1, value);
        // A date refuses the last text, above the signed range: no text may change.
        QVERIFY_EXCEPTION_THROWN(text.setDataType(tdtDateTime), KRVException);
        QCOMPARE(table[2].asString(QStringLiteral("text")), QStringLiteral(" -4 "));
        text.setDataType(tdtInt64);
        QCOMPARE(table[1].value(1), QVariant(qint64(9007199254740993LL)));
        QCOMPARE(table[2].value(1), QVariant(qint64(-4)));
        QCOMPARE(table[3].value(1), QVariant(qint64(0)));
        QCOMPARE(table[4].asUInt64(1), 18446744073709551615ULL);
    }

    // Refused with a message naming the file and the fault; the model that
    // was to be loaded stays as it was.
    void damagedFiles_data()
    {
        QTest::addColumn<QString>("how"); // SQL run on the file, or a named fault
        QTest::addColumn<QString>("fault");
        const char* const rows[][3] = {
            { "missing", "missing", "does not exist" },
            { "not SQLite", "text", "not an SQLite database" },
            { "truncated", "half", "truncated" },
            { "another version", "PRAGMA user_version = 2", "version 2" },
            { "fewer records than the catalog counts",
                "DELETE FROM tessel_records_0 WHERE position = 3",
                "holds 49 records; its catalog counts 50" },
            { "unknown data type", "UPDATE tessel_fields SET data_type = 9 WHERE position = 1",
                "unknown data type 9" },
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }

    void damagedFiles()
    {
        QFETCH(QString, how);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        const QString path = dir.filePath(kModelFile);
        Table table { "element", { { "id", tdtInt64 }, { "name", tdtString } }, {} };
        for (int i = 1; i <= 50; ++i)
            table.records.push_back({ quint64(i), { i, QStringLiteral("墙 %1").arg(i) } });
        writeModel(path, { table });
        if (how == "missing")
            QFile::remove(path);
        else if (how == "text")
            writeBytes(path, QByteArray("{\"mode\": 2}\n").repeated(100));
        else if (how == "half")
            QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        else
            KSQLite::KSqlDatabase(path.toStdString(), SQLITE_OPEN_READWRITE)
                .exec(how.toStdString());

        TesselModel model = newModel();
        model.addDatabase("Before");
        model.setMode(tmRuntime);
        try {
            TesselModelPersistent(model).loadFromFile(path, false, true);
            QFAIL("loading should have failed");
        } catch (const KRVException& e) {
            QVERIFY2(
                e.message().contains(path) && e.message().contains(fault), qPrintable(e.message()));
        }
        QCOMPARE(model.databaseCount(), 1);
        QCOMPARE(model.databases(0).name(), QStringLiteral("Before"));
        QCOMPARE(model.mode(), tmRuntime);
    }
};

QTEST_GUILESS_MAIN(TestTesselModel)
#include "tst_tesselmodel.moc"
