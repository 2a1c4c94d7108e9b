#pragma once

#include "platform/session/MusicRecognizer.h"
#include "platform/storage/SettingsCatalogue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class Defaults;
class FeedStore;

// Listens to the room for music while "roomListenEnabled" is on (off by
// default) and tunes the feed store to each song recognised. The store's
// isRoomListening follows whether the recogniser really listens. On Linux
// the recogniser is unavailable: the listener then reports Unavailable with
// the recogniser's reason, logs it once per attempt, and leaves the setting
// as the user set it. Main thread only.
class RoomListener : public QObject {
    Q_OBJECT
public:
    static inline const QString EnabledKey = Settings::roomListenEnabled.key.toString();
    static constexpr bool EnabledDefault = Settings::roomListenEnabled.fallback;

    enum class State { Off, Starting, Listening, Unavailable };

    RoomListener(Defaults& defaults, std::unique_ptr<MusicRecognizer> recognizer, QObject* parent = nullptr);
    ~RoomListener() override;

    // The process-wide listener: the standard settings and the system
    // recogniser. Created on first use, never destroyed.
    static RoomListener& shared();

    // Follows the setting for `store` (held weakly) and starts listening at
    // once when it is on. Acts only on the first call.
    void start(FeedStore& store);
    bool isStarted() const { return m_started; }

    // Whether the recogniser can listen at all. Where it cannot, the
    // controls of "roomListenEnabled" only turn it off.
    bool canListen() const { return m_recognizer->isAvailable(); }

    State state() const { return m_state; }
    // Why listening is unavailable; empty otherwise.
    const QString& unavailableReason() const { return m_reason; }

Q_SIGNALS:
    void stateChanged();

private:
    void onSettingChanged(const QString& key);
    void apply(bool enabled);
    void setState(State state);
    void setStoreListening(bool listening);

    Defaults& m_defaults;
    std::unique_ptr<MusicRecognizer> m_recognizer;
    QPointer<FeedStore> m_store;
    bool m_started = false;
    State m_state = State::Off;
    QString m_reason;
};
