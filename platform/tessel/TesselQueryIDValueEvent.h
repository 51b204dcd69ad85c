#pragma once

#include <tessel/ITesselQueryIDValueEvent.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

// Handle of an identifier handler, as set on a table with
// TesselTable::setOnQueryIDValue. May be null (no handler).
class TESSEL_EXPORT TesselQueryIDValueEvent
{
public:
    TesselQueryIDValueEvent() = default;
    // A null pointer gives a null handle.
    explicit TesselQueryIDValueEvent(ITesselQueryIDValueEvent* handler);

    bool isNull() const noexcept { return !m_handler; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselQueryIDValueEvent* get() const noexcept { return m_handler.get(); }
    bool operator==(const TesselQueryIDValueEvent& other) const noexcept
    {
        return m_handler == other.m_handler;
    }
    bool operator!=(const TesselQueryIDValueEvent& other) const noexcept
    {
        return m_handler != other.m_handler;
    }

    // Asks the handler; a null handle raises KRVException.
    void onQueryIDValue(ITesselRecord* record, QVariant* value) const;

private:
    TesselRef<ITesselQueryIDValueEvent> m_handler;
};
