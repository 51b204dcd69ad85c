#pragma once

#include "ChangeLog.h"
#include "ExtPropDefObject.h"
#include "TesselObject.h"

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>

#include <QString>

#include <vector>

class ExtPropDefListObject final : public TesselObject<ITesselExtPropDefs>
{
public:
    explicit ExtPropDefListObject(ChangeLogPtr log)
        : m_log(std::move(log))
    {
    }

    int count() const { return static_cast<int>(m_items.size()); }
    ExtPropDefObject* item(int index) const;
    ExtPropDefObject* find(const QString& code) const;
    ExtPropDefObject* add();
    // Appends without noting a change (loading a file).
    void load(const QString& code, const QString& value);
    void remove(int index);

private:
    ChangeLogPtr m_log;
    std::vector<TesselRef<ExtPropDefObject>> m_items;
};
