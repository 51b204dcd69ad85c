#pragma once

#include <bimcore/core/bimcore_export.h>
#include <bimcore/project/ProgressCallback.h>

#include <QObject>
#include <QString>

class IBIMPlatformEvent;
namespace PlatformSvcComm {
class CCommunicationNexus;
}

// Turns the platform hub's asynchronous traffic into a blocking call: posts a
// request and waits in a local event loop until the response or error event
// for it arrives. Listens to every broadcast for the life of the library;
// responses for the current project fill the registered project's delta.
class BIMCORE_EXPORT PlatformEventNexus : public QObject
{
    Q_OBJECT

public:
    explicit PlatformEventNexus(QObject* parent = nullptr);
    ~PlatformEventNexus() override;

    // The one bridge of the library, made on the first call.
    static PlatformEventNexus* Instance();

    // Posts the event to the hub and waits, with no time limit, until a
    // response or error ends the update; progress messages reach the callback
    // (may be null) meanwhile. True when no error event arrived.
    bool PostEventAndWait(IBIMPlatformEvent* pEvent, ProgressCallback callback);

    // The text of the last error event of the current (or last) wait.
    QString LastErrorMsg();

Q_SIGNALS:
    void SigUpdateFinish(bool b);
    void SigErrorMsg(QString msg);

public Q_SLOTS:
    void SlotPlatformEvent(IBIMPlatformEvent* pEvent);

private:
    PlatformSvcComm::CCommunicationNexus* m_pCommNexus;
    bool m_bSuccess;
    QString m_errorMsg;
};
