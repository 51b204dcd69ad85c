#include "TesselModel.h"

#include "internal/CommandObject.h"
#include "internal/Errors.h"
#include "internal/ModelObject.h"

namespace {
ModelObject* object(const TesselRef<ITesselModel>& model)
{
    checkHandle(model.get(), "model");
    return ModelObject::from(model.get());
}
} // namespace

TesselModel::TesselModel(ITesselModel* model)
    : m_model(model)
{
}

TesselModel::TesselModel(const TesselModel& other) = default;
TesselModel::TesselModel(TesselModel&& other) noexcept = default;
TesselModel& TesselModel::operator=(const TesselModel& other) = default;
TesselModel& TesselModel::operator=(TesselModel&& other) noexcept = default;
TesselModel::~TesselModel() = default;

TesselCommand TesselModel::fetchCommand()
{
    ChangeLog& log = *object(m_model)->log();
    TesselCommand command(new CommandObject(log.changes));
    log.changes = 0;
    return command;
}

TesselMode TesselModel::mode() const
{
    return object(m_model)->mode();
}

void TesselModel::mode(TesselMode& mode) const
{
    mode = this->mode();
}

void TesselModel::setMode(const TesselMode& mode)
{
    object(m_model)->setMode(mode);
}

TesselExtPropDefs TesselModel::extPropDefs() const
{
    return TesselExtPropDefs(object(m_model)->extPropDefs());
}

int TesselModel::databaseCount() const
{
    return object(m_model)->databaseCount();
}

TesselDatabase TesselModel::databases(int index) const
{
    return TesselDatabase(object(m_model)->database(index));
}

TesselDatabase TesselModel::findDatabase(const QString& name) const
{
    return TesselDatabase(object(m_model)->findDatabase(name));
}

TesselDatabase TesselModel::addDatabase(const QString& name)
{
    return TesselDatabase(object(m_model)->addDatabase(name));
}

TesselTable TesselModel::findTable(const QString& database, const QString& table) const
{
    DatabaseObject* found = object(m_model)->findDatabase(database);
    return TesselTable(found ? found->findTable(table) : nullptr);
}
