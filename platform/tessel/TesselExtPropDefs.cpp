// The extended property definition handles: the list and one definition.
#include "TesselExtPropDefs.h"
#include "TesselExtPropDef.h"
#include "internal/Errors.h"
#include "internal/ExtPropDefListObject.h"

namespace {
ExtPropDefListObject* list(const TesselRef<ITesselExtPropDefs>& definitions)
{
    checkHandle(definitions.get(), "extended property definition list");
    return static_cast<ExtPropDefListObject*>(definitions.get());
}

ExtPropDefObject* definition(const TesselRef<ITesselExtPropDef>& definition)
{
    checkHandle(definition.get(), "extended property definition");
    return static_cast<ExtPropDefObject*>(definition.get());
}
} // namespace

TesselExtPropDefs::TesselExtPropDefs(ITesselExtPropDefs* definitions)
    : m_definitions(definitions)
{
}

int TesselExtPropDefs::count() const
{
    return list(m_definitions)->count();
}

TesselExtPropDef TesselExtPropDefs::items(int index) const
{
    return TesselExtPropDef(list(m_definitions)->item(index));
}

TesselExtPropDef TesselExtPropDefs::find(const QString& code) const
{
    return TesselExtPropDef(list(m_definitions)->find(code));
}

TesselExtPropDef TesselExtPropDefs::add()
{
    return TesselExtPropDef(list(m_definitions)->add());
}

void TesselExtPropDefs::remove(int index)
{
    list(m_definitions)->remove(index);
}

TesselExtPropDef::TesselExtPropDef(ITesselExtPropDef* definition)
    : m_definition(definition)
{
}

QString TesselExtPropDef::code() const
{
    return definition(m_definition)->code();
}

QString TesselExtPropDef::value() const
{
    return definition(m_definition)->value();
}

void TesselExtPropDef::setCode(const QString& code)
{
    definition(m_definition)->setCode(code);
}

void TesselExtPropDef::setValue(const QString& value)
{
    definition(m_definition)->setValue(value);
}
