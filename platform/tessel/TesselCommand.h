#pragma once

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

// The changes a model went through since the previous fetchCommand (or since
// it was created): loading a file, appending records, setting values, data
// types, the mode or extended properties each count as one change. Fetching
// the command starts a new count on the model; the command itself keeps the
// count it was given. Holders that need no change log drop it at once.
class TESSEL_EXPORT TesselCommand
{
public:
    TesselCommand() = default;
    explicit TesselCommand(ITesselCommand* command);

    bool isNull() const noexcept { return !m_command; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselCommand* get() const noexcept { return m_command.get(); }

    // Number of changes recorded; 0 for a null command.
    int changeCount() const;

private:
    TesselRef<ITesselCommand> m_command;
};
