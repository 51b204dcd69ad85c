#pragma once

#include <tessel/TesselCommand.h>
#include <tessel/TesselDatabase.h>
#include <tessel/TesselEnums.h>
#include <tessel/TesselExtPropDefs.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/TesselTable.h>
#include <tessel/tessel_export.h>

#include <QString>

// A model: its mode, its ordered model-level extended property definitions
// and its databases. A value handle: copies refer to the same model, which
// lives while any handle (or a handle of one of its parts) refers to it.
// The default handle is null; every operation except the handle's own
// (isNull, get, comparison, copy, move) raises KRVException on a null model.
class TESSEL_EXPORT TesselModel
{
public:
    TesselModel() = default;
    // A null pointer gives a null model; otherwise takes a reference.
    explicit TesselModel(ITesselModel* model);
    TesselModel(const TesselModel& other);
    TesselModel(TesselModel&& other) noexcept;
    TesselModel& operator=(const TesselModel& other);
    TesselModel& operator=(TesselModel&& other) noexcept;
    ~TesselModel();

    bool isNull() const noexcept { return !m_model; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselModel* get() const noexcept { return m_model.get(); }
    // Same library object.
    bool operator==(const TesselModel& other) const noexcept { return m_model == other.m_model; }
    bool operator!=(const TesselModel& other) const noexcept { return m_model != other.m_model; }

    // Hands over the changes counted since the last fetch (see TesselCommand).
    TesselCommand fetchCommand();

    TesselMode mode() const;
    // The same, into a variable of the caller's.
    void mode(TesselMode& mode) const;
    void setMode(const TesselMode& mode);

    TesselExtPropDefs extPropDefs() const;

    int databaseCount() const;
    // The index-th database; an index out of range raises KRVException.
    TesselDatabase databases(int index) const;
    // The database with that exact name, or a null handle.
    TesselDatabase findDatabase(const QString& name) const;
    // Appends an empty database. An empty name or one already used raises
    // KRVException.
    TesselDatabase addDatabase(const QString& name);
    // The table of that database, or a null handle when either is absent.
    TesselTable findTable(const QString& database, const QString& table) const;

private:
    TesselRef<ITesselModel> m_model;
};
