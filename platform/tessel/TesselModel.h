#pragma once

#include <bimcore/platform/tessel/TesselDatabase.h>

/// The changes a model went through, as fetchCommand hands them over. Nothing
/// in the application undoes changes, so none are logged: a command is empty.
class TesselCommand
{
};

/// A model: its mode, its ordered model-level extended property definitions
/// and its databases.
class TESSEL_EXPORT TesselModel : public TesselHandle<ITesselModel>
{
public:
    using TesselHandle::TesselHandle;
    TesselCommand fetchCommand();

    TesselMode mode() const;
    /// The same, into a variable of the caller's.
    void mode(TesselMode& mode) const { mode = this->mode(); }
    void setMode(const TesselMode& mode);

    TesselExtPropDefs extPropDefs() const;

    int databaseCount() const;
    /// The index-th database; an index out of range raises KRVException.
    TesselDatabase databases(int index) const;
    /// The database with that exact name, or a null handle.
    TesselDatabase findDatabase(const QString& name) const;
    /// Appends an empty database. An empty name or one already used raises
    /// KRVException.
    TesselDatabase addDatabase(const QString& name);
    /// The table of that database, or a null handle when either is absent.
    TesselTable findTable(const QString& database, const QString& table) const;
};
