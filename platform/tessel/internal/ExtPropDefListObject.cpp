#include "ExtPropDefListObject.h"

#include "Errors.h"

ExtPropDefObject* ExtPropDefListObject::item(int index) const
{
    checkIndex(index, count(), "extended property definition");
    return m_items[static_cast<size_t>(index)].get();
}

ExtPropDefObject* ExtPropDefListObject::find(const QString& code) const
{
    for (const auto& item : m_items) {
        if (item->code() == code)
            return item.get();
    }
    return nullptr;
}

ExtPropDefObject* ExtPropDefListObject::add()
{
    m_items.emplace_back(new ExtPropDefObject(m_log));
    m_log->note();
    return m_items.back().get();
}

void ExtPropDefListObject::load(const QString& code, const QString& value)
{
    const int changesBefore = m_log->changes;
    ExtPropDefObject* definition = add();
    definition->setCode(code);
    definition->setValue(value);
    m_log->changes = changesBefore;
}

void ExtPropDefListObject::remove(int index)
{
    checkIndex(index, count(), "extended property definition");
    m_items.erase(m_items.begin() + index);
    m_log->note();
}
