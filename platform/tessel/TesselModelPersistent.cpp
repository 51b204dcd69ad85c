#include "TesselModelPersistent.h"

#include "internal/Errors.h"
#include "internal/ModelFileReader.h"
#include "internal/ModelFileWriter.h"
#include "internal/ModelObject.h"

#include <new>

TesselModelPersistent::TesselModelPersistent(const TesselModel& model)
    : m_model(model)
{
}

bool TesselModelPersistent::loadFromFile(const QString& path, bool readOnly, bool loadRecords)
{
    checkHandle(m_model.get(), "model");
    ModelObject& target = *ModelObject::from(m_model.get());
    const int changesBefore = target.log()->changes;
    // Everything is read into a model of its own; the target takes it over
    // only once the whole file has been read.
    TesselRef<ModelObject> loaded(new ModelObject(VellEngine(), target.log()));
    try {
        readModelFile(path, *loaded, loadRecords);
    } catch (const KRVException& e) {
        target.log()->changes = changesBefore;
        raiseError(QStringLiteral("Cannot load model file \"%1\": %2").arg(path, e.message()));
    } catch (const std::bad_alloc&) {
        target.log()->changes = changesBefore;
        raiseError(QStringLiteral("Cannot load model file \"%1\": not enough memory").arg(path));
    }
    if (readOnly)
        loaded->setMode(tmReadOnly);
    target.takeContentOf(*loaded);
    target.log()->changes = changesBefore + 1;
    return true;
}

void TesselModelPersistent::saveToFile(const QString& path) const
{
    checkHandle(m_model.get(), "model");
    try {
        writeModelFile(path, *ModelObject::from(m_model.get()));
    } catch (const KRVException& e) {
        raiseError(QStringLiteral("Cannot save model file \"%1\": %2").arg(path, e.message()));
    } catch (const std::bad_alloc&) {
        raiseError(QStringLiteral("Cannot save model file \"%1\": not enough memory").arg(path));
    }
}
