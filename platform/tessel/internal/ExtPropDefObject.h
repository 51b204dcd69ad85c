#pragma once

#include "ChangeLog.h"
#include "TesselObject.h"

#include <tessel/TesselInterfaces.h>

#include <QString>

class ExtPropDefObject final : public TesselObject<ITesselExtPropDef>
{
public:
    explicit ExtPropDefObject(ChangeLogPtr log)
        : m_log(std::move(log))
    {
    }

    const QString& code() const { return m_code; }
    const QString& value() const { return m_value; }
    void setCode(const QString& code)
    {
        m_code = code;
        m_log->note();
    }
    void setValue(const QString& value)
    {
        m_value = value;
        m_log->note();
    }

private:
    ChangeLogPtr m_log;
    QString m_code;
    QString m_value;
};
