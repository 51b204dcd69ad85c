// Handle semantics of the data-model library: null handles, shared objects,
// definitions, modes, commands and the identifier handler base.
#include <krvcommon/KRVException.h>
#include <tessel/Tessel.h>

#include <QtTest>

namespace {

TesselModel newModel()
{
    return tesselEngine(QString()).createModel(true, VellEngine());
}

class RecordingHandler : public TesselQueryIDValueImpl
{
public:
    void doQueryIDValue(ITesselRecord* record, QVariant* value) override
    {
        ++calls;
        lastRecord = record;
        *value = QVariant::fromValue<qulonglong>(7);
    }
    int calls = 0;
    ITesselRecord* lastRecord = nullptr;
};

} // namespace

class TestTesselHandles : public QObject
{
    Q_OBJECT

private slots:
    void nullHandlesTestAndRaise()
    {
        const TesselModel empty;
        QVERIFY(empty.isNull());
        QVERIFY(!empty);
        QVERIFY(TesselModel(static_cast<ITesselModel*>(nullptr)).isNull());
        QVERIFY_EXCEPTION_THROWN(empty.databaseCount(), KRVException);
        QVERIFY_EXCEPTION_THROWN(empty.mode(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselTable().recordCount(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselRecord().id64(), KRVException);
        QVERIFY_EXCEPTION_THROWN(TesselExtPropDef().value(), KRVException);
        QVERIFY_EXCEPTION_THROWN(
            TesselModelPersistent(empty).loadFromFile(QStringLiteral("x")), KRVException);
        QVERIFY(VellEngine(nullptr).isNull());
        QVERIFY(TesselQueryIDValueEvent(nullptr).isNull());
    }

    void copiesShareOneModel()
    {
        TesselModel model = newModel();
        QVERIFY(!model.isNull());
        const TesselModel copy = model;
        model.addDatabase(QStringLiteral("DB"));
        QCOMPARE(copy.databaseCount(), 1);
        QVERIFY(copy == model);

        // A handle built over the object takes its own reference.
        const TesselModel fromPointer(model.get());
        QCOMPARE(fromPointer.databases(0).name(), QStringLiteral("DB"));
    }

    void moveLeavesTheSourceNull()
    {
        TesselModel model = newModel();
        ITesselModel* object = model.get();
        TesselModel moved(std::move(model));
        QVERIFY(model.isNull());
        QCOMPARE(moved.get(), object);

        TesselModel target = newModel();
        target = std::move(moved);
        QVERIFY(moved.isNull());
        QCOMPARE(target.get(), object);
    }

    void partsOutliveTheirModel()
    {
        TesselTable table;
        {
            TesselModel model = newModel();
            table = model.addDatabase(QStringLiteral("DB")).addTable(QStringLiteral("t"));
            table.tableSchema().fieldSchemas().add(QStringLiteral("name"), tdtString);
        }
        table.appendRecord(5).setString(0, QStringLiteral("still here"));
        QCOMPARE(table[0].asString(QStringLiteral("name")), QStringLiteral("still here"));
    }

    void enginesAreOnePerName()
    {
        QVERIFY(tesselEngine(QString()).get() == tesselEngine(QString()).get());
        QVERIFY(tesselEngine(QStringLiteral("other")).get() != tesselEngine(QString()).get());
        QCOMPARE(tesselEngine(QStringLiteral("other")).name(), QStringLiteral("other"));
        // A model bound to the graphics engine needs one.
        QVERIFY_EXCEPTION_THROWN(
            tesselEngine(QString()).createModel(false, VellEngine()), KRVException);
        const TesselModel model = newModel();
        QCOMPARE(model.mode(), tmDesign);
        QCOMPARE(model.databaseCount(), 0);
        QCOMPARE(model.extPropDefs().count(), 0);
    }

    void findTableNeedsDatabaseAndTable()
    {
        TesselModel model = newModel();
        const TesselTable table
            = model.addDatabase(QStringLiteral("DB")).addTable(QStringLiteral("project"));
        QVERIFY(model.findTable(QStringLiteral("DB"), QStringLiteral("project")) == table);
        QVERIFY(model.findTable(QStringLiteral("DB"), QStringLiteral("Project")).isNull());
        QVERIFY(model.findTable(QStringLiteral("db"), QStringLiteral("project")).isNull());
        QVERIFY_EXCEPTION_THROWN(model.addDatabase(QStringLiteral("DB")), KRVException);
        QVERIFY_EXCEPTION_THROWN(
            model.databases(0).addTable(QStringLiteral("project")), KRVException);
        QVERIFY_EXCEPTION_THROWN(model.databases(1), KRVException);
    }

    void extPropDefsKeepOrderAndDuplicates()
    {
        TesselModel model = newModel();
        TesselExtPropDefs definitions = model.extPropDefs();
        QVERIFY(definitions.find(QStringLiteral("IgnoreProcessInt64")).isNull());
        TesselExtPropDef first = definitions.add();
        QCOMPARE(first.code(), QString());
        QCOMPARE(first.value(), QString());
        first.setCode(QStringLiteral("IgnoreProcessInt64"));
        first.setValue(QStringLiteral("true"));
        TesselExtPropDef second = definitions.add();
        second.setCode(QStringLiteral("IgnoreProcessInt64"));
        second.setValue(QStringLiteral("True"));

        QCOMPARE(model.extPropDefs().count(), 2);
        QVERIFY(model.extPropDefs().find(QStringLiteral("IgnoreProcessInt64")) == first);
        QCOMPARE(model.extPropDefs().items(1).value(), QStringLiteral("True"));
        QVERIFY(model.extPropDefs().find(QStringLiteral("ignoreprocessint64")).isNull());
        model.extPropDefs().remove(0);
        QCOMPARE(model.extPropDefs().find(QStringLiteral("IgnoreProcessInt64")).value(),
            QStringLiteral("True"));
    }

    void modeByReference()
    {
        TesselModel model = newModel();
        TesselMode mode = tmRuntime;
        model.setMode(mode);
        TesselMode read = tmDesign;
        model.mode(read);
        QCOMPARE(read, tmRuntime);
        QCOMPARE(int(model.mode()), 2);
    }

    void fetchCommandHandsOverTheChangeCount()
    {
        TesselModel model = newModel();
        model.fetchCommand();
        QCOMPARE(model.fetchCommand().changeCount(), 0);
        model.setMode(tmRuntime);
        model.extPropDefs().add().setCode(QStringLiteral("x"));
        const TesselCommand command = model.fetchCommand();
        QCOMPARE(command.changeCount(), 3);
        QCOMPARE(model.fetchCommand().changeCount(), 0);
        QCOMPARE(TesselCommand().changeCount(), 0);
    }

    void fieldSchemasByIndexAndName()
    {
        TesselModel model = newModel();
        TesselTable table
            = model.addDatabase(QStringLiteral("DB")).addTable(QStringLiteral("t"), ttkLookup);
        QCOMPARE(table.tableKind(), ttkLookup);
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        fields.add(QStringLiteral("id"), tdtInt64);
        fields.add(QStringLiteral("name"), tdtString);
        QVERIFY_EXCEPTION_THROWN(fields.add(QStringLiteral("name"), tdtInt32), KRVException);
        QVERIFY_EXCEPTION_THROWN(fields.add(QStringLiteral("bad"), tdtUnknown), KRVException);
        QCOMPARE(table.tableSchema().primaryKeyFieldIndex(), -1);
        table.tableSchema().setPrimaryKeyFieldIndex(0);
        QCOMPARE(table.tableSchema().primaryKeyFieldIndex(), 0);
        QVERIFY_EXCEPTION_THROWN(table.tableSchema().setPrimaryKeyFieldIndex(2), KRVException);
        QCOMPARE(table.tableSchema().fieldIndex(QStringLiteral("name")), 1);
        QCOMPARE(fields.find(QStringLiteral("name")).index(), 1);
        QVERIFY(fields.find(QStringLiteral("none")).isNull());
        TesselDataType type = tdtUnknown;
        fields.items(0).dataType(type);
        QCOMPARE(int(type), 15);
        QVERIFY_EXCEPTION_THROWN(fields.items(2), KRVException);
    }

    void handlerBaseAnswersForItsInterface()
    {
        RecordingHandler handler;
        void* object = nullptr;
        QCOMPARE(handler.QueryInterface(ITesselQueryIDValueEvent::iid(), &object), long(K_OK));
        QCOMPARE(object, static_cast<void*>(static_cast<ITesselQueryIDValueEvent*>(&handler)));
        QCOMPARE(handler.QueryInterface(IKUnknown::iid(), &object), long(K_OK));
        QCOMPARE(handler.QueryInterface(QUuid::createUuid(), &object), long(K_NOINTERFACE));

        // References never delete it: a stack object survives any number of
        // releases.
        ITesselQueryIDValueEvent* events = &handler;
        events->AddRef();
        events->Release();
        events->Release();

        QVariant value;
        events->onQueryIDValue(nullptr, &value);
        QCOMPARE(handler.calls, 1);
        QCOMPARE(value.toULongLong(), 7ULL);

        // The base's hook leaves the value alone.
        TesselQueryIDValueImpl plain;
        QVariant untouched;
        static_cast<ITesselQueryIDValueEvent&>(plain).onQueryIDValue(nullptr, &untouched);
        QVERIFY(!untouched.isValid());
    }
};

QTEST_GUILESS_MAIN(TestTesselHandles)
#include "tst_tesselhandles.moc"
