// The small handles: engine, graphics engine, command, identifier handler.
#include "TesselCommand.h"
#include "TesselEngine.h"
#include "TesselQueryIDValueEvent.h"
#include "VellEngine.h"
#include "internal/CommandObject.h"
#include "internal/EngineObject.h"
#include "internal/Errors.h"
#include "internal/ModelObject.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

VellEngine::VellEngine(IVellEngine* engine)
    : m_engine(engine)
{
}

TesselCommand::TesselCommand(ITesselCommand* command)
    : m_command(command)
{
}

int TesselCommand::changeCount() const
{
    return m_command ? CommandObject::from(m_command.get())->changeCount() : 0;
}

TesselQueryIDValueEvent::TesselQueryIDValueEvent(ITesselQueryIDValueEvent* handler)
    : m_handler(handler)
{
}

void TesselQueryIDValueEvent::onQueryIDValue(ITesselRecord* record, QVariant* value) const
{
    checkHandle(m_handler.get(), "identifier handler");
    m_handler.get()->onQueryIDValue(record, value);
}

TesselEngine::TesselEngine(ITesselEngine* engine)
    : m_engine(engine)
{
}

QString TesselEngine::name() const
{
    checkHandle(m_engine.get(), "engine");
    return EngineObject::from(m_engine.get())->name();
}

TesselModel TesselEngine::createModel(bool standalone, const VellEngine& vell)
{
    checkHandle(m_engine.get(), "engine");
    if (!standalone && vell.isNull())
        raiseError(QStringLiteral("a model bound to the graphics engine needs an engine"));
    return TesselModel(new ModelObject(standalone ? VellEngine() : vell, nullptr));
}

TesselEngine tesselEngine(const QString& name)
{
    // One engine per name for the life of the process.
    static QMutex mutex;
    static QHash<QString, TesselEngine> engines;
    QMutexLocker lock(&mutex);
    auto found = engines.find(name);
    if (found == engines.end())
        found = engines.insert(name, TesselEngine(new EngineObject(name)));
    return found.value();
}
