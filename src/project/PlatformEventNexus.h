#pragma once

/** @file
 * @brief PlatformEventNexus: the bridge between the platform hub and a blocking update. */

#include <bimcore/core/bimcore_export.h>
#include <bimcore/project/ProgressCallback.h>

#include <QObject>
#include <QString>

class IBIMPlatformEvent;
namespace PlatformSvcComm {
class CCommunicationNexus;
}

namespace bimcore {

/**
 * @brief Turns the platform hub's asynchronous traffic into a blocking call:
 * posts a request and waits in a local event loop until the response or error
 * event for it arrives.
 *
 * Listens to every broadcast for the life of the library; responses for the
 * current project (Global::m_projectId) fill the registered project's change
 * record. Used by Project::updateProject(); a host rarely calls it itself.
 *
 * Thread: the main thread. The hub may emit from another thread; its signals
 * are queued to the waiting thread.
 */
class BIMCORE_EXPORT PlatformEventNexus : public QObject
{
    Q_OBJECT

public:
    /** @brief Connects to the hub's broadcasts. Use Instance() instead.
     *  @param parent the Qt parent, or null */
    explicit PlatformEventNexus(QObject* parent = nullptr);
    /** @brief Disconnects from the hub. */
    ~PlatformEventNexus() override;

    /** @brief The one bridge of the library, made on the first call (thread-safe).
     *  @return never null. */
    static PlatformEventNexus* Instance();

    /**
     * @brief Posts the event to the hub and waits, with no time limit, until a
     * response or error ends the update; progress messages reach the callback
     * meanwhile.
     * @param pEvent the request; the caller keeps ownership.
     * @param callback receives the hub's progress; may be null.
     * @return true when no error event arrived; the error's text is LastErrorMsg().
     * @throws nothing of its own.
     */
    bool PostEventAndWait(IBIMPlatformEvent* pEvent, ProgressCallback callback);

    /** @brief The text of the last error event of the current (or last) wait.
     *  @return empty when none arrived. */
    QString LastErrorMsg();

Q_SIGNALS:
    /** @brief A response or an error ended the wait. @param b true for a response. */
    void SigUpdateFinish(bool b);
    /** @brief An error event arrived. @param msg its text. */
    void SigErrorMsg(QString msg);

public Q_SLOTS:
    /** @brief Receives every broadcast of the hub; acts on the response and
     *  error events of the current project. @param pEvent the event, owned by the hub. */
    void SlotPlatformEvent(IBIMPlatformEvent* pEvent);

private:
    PlatformSvcComm::CCommunicationNexus* m_pCommNexus;
    bool m_bSuccess;
    QString m_errorMsg;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::PlatformEventNexus;
#endif
