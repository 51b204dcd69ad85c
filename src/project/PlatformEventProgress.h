#pragma once

#include <bimcore/project/ProgressCallback.h>

#include <QObject>

namespace bimcore {

// Hands the hub's progress messages to the caller's callback for as long as
// one wait of the bridge lasts.
class PlatformEventProgress : public QObject
{
    Q_OBJECT

public:
    explicit PlatformEventProgress(ProgressCallback callback);

public Q_SLOTS:
    void SlotProgressMsg(const wchar_t* s, double d);

private:
    ProgressCallback m_pCallback;
};

} // namespace bimcore
