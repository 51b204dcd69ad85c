#pragma once

#include "Column.h"
#include <bimcore/platform/tessel/TesselQueryIDValueEvent.h>
#include <atomic>

// The library objects behind the handles. The handles hold them through
// TesselRef and work on their data directly.

[[noreturn]] void raiseError(const QString& message);

// Raises when index is not in [0, count). what names the item; a %1 in it
// stands for owner.
void checkIndex(int index, int count, const char* what, const QString& owner = QString());

// The reference-counted base of the library's own objects: the object deletes
// itself when its last reference goes.
template <class Base> class TesselObject : public Base
{
public:
    using Interface = Base;
    virtual ~TesselObject() = default;

    long QueryInterface(const KInterfaceId& iid, void** object) override
    {
        if (object)
            *object = iid == IKUnknown::iid() ? static_cast<IKUnknown*>(this) : nullptr;
        if (!object || !*object)
            return K_NOINTERFACE;
        AddRef();
        return K_OK;
    }
    unsigned long AddRef() override { return ++m_references; }
    unsigned long Release() override
    {
        const unsigned long left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<unsigned long> m_references { 0 };
};

template <class Object> TesselRef<Object> makeObject()
{
    return TesselRef<Object>(new Object());
}

// The object behind a handle's pointer; a null one raises, naming the kind.
template <class Object> Object& objectOf(typename Object::Interface* pointer)
{
    if (!pointer)
        raiseError(
            QStringLiteral("operation on a null %1 handle").arg(QLatin1String(Object::kind)));
    return *static_cast<Object*>(pointer);
}

struct ExtPropDef
{
    QString code;
    QString value;
};

// An ordered list of extended property definitions; a code may stand twice.
struct ExtPropDefListObject final : TesselObject<ITesselExtPropDefs>
{
    static constexpr char kind[] = "extended property definition list";
    std::vector<ExtPropDef> items;
};

struct FieldDef
{
    QString name;
    TesselDataType type = tdtUnknown;
    TesselRef<ExtPropDefListObject> extPropDefs = makeObject<ExtPropDefListObject>();
};

// A table: schema, one column of values per field, identifiers and the
// identifier handler. Every index handed in is checked; faults raise
// KRVException naming the table.
struct TableObject final : TesselObject<ITesselTable>
{
    static constexpr char kind[] = "table";

    int recordCount() const { return static_cast<int>(ids.size()); }
    const FieldDef& field(int index) const;
    // -1 when absent.
    int fieldIndex(const QString& name) const;
    void checkRecord(int row) const;
    CellValue cell(int row, int field) const;
    // Stores value converted for the field; raises naming table, field and
    // record when it cannot be.
    void storeCell(int row, int field, const CellValue& value);
    // A record of empty values; asks no identifier handler.
    int appendRecord(quint64 id);
    QString describeRecord(int row) const;

    QString name;
    TesselTableKind tableKind = ttkOrdinary;
    std::vector<FieldDef> fields;
    std::vector<Column> columns; // one per field
    int primaryKey = -1;
    std::vector<quint64> ids;
    TesselQueryIDValueEvent handler;
};

struct DatabaseObject final : TesselObject<ITesselDatabase>
{
    static constexpr char kind[] = "database";
    QString name;
    std::vector<TesselRef<TableObject>> tables;
};

struct ModelObject final : TesselObject<ITesselModel>
{
    static constexpr char kind[] = "model";
    TesselMode mode = tmDesign;
    TesselRef<ExtPropDefListObject> extPropDefs = makeObject<ExtPropDefListObject>();
    std::vector<TesselRef<DatabaseObject>> databases;
};

// A record as handed to an identifier handler.
struct RecordObject final : TesselObject<ITesselRecord>
{
    static constexpr char kind[] = "record";
    TesselRef<TableObject> table;
    int row = -1;
};

// The object of that exact name among tables or databases, or null.
template <class Object>
Object* findNamed(const std::vector<TesselRef<Object>>& items, const QString& name)
{
    for (const TesselRef<Object>& item : items) {
        if (item->name == name)
            return item.get();
    }
    return nullptr;
}

// Appends a new object of that name; an empty name or one already there
// raises. owner names what items belong to.
template <class Object>
Object& addNamed(std::vector<TesselRef<Object>>& items, const QString& name, const QString& owner)
{
    const QLatin1String kind(Object::kind);
    if (name.isEmpty())
        raiseError(QStringLiteral("a %1 of %2 needs a name").arg(kind, owner));
    if (findNamed(items, name))
        raiseError(QStringLiteral("%1 already has a %2 \"%3\"").arg(owner, kind, name));
    items.push_back(makeObject<Object>());
    items.back()->name = name;
    return *items.back();
}
