#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include "ticker/FocusChip.h"
#include "ticker/OfflineChip.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class Defaults;
class FeedStore;
class QHBoxLayout;

// The chips at the trailing end of the main strip: the focused topic's chip,
// else the now-playing chip, else the listening chip; and the offline chip
// while the store is offline. The row takes clicks only while one of the
// first three shows; otherwise clicks pass to the strip beneath.
class StripChipsRow : public QWidget {
    Q_OBJECT
public:
    static inline const QString roomListenKey = Settings::roomListenEnabled.key.toString();

    // `exitFocus` leaves the topic focus (the focus chip's close button).
    StripChipsRow(FeedStore& store, Defaults& defaults, std::function<void()> exitFocus, QWidget* parent = nullptr);

    FocusChip* focusChip() const { return m_focus; }
    QWidget* nowPlayingChip() const { return m_nowPlaying; }
    QWidget* listeningChip() const { return m_listening; }
    OfflineChip* offlineChip() const { return m_offline; }
    bool takesClicks() const { return !testAttribute(Qt::WA_TransparentForMouseEvents); }

Q_SIGNALS:
    void contentChanged();

private:
    void rebuild();
    template <class T>
    void drop(QPointer<T>& chip);

    FeedStore& m_store;
    Defaults& m_defaults;
    std::function<void()> m_exitFocus;
    QHBoxLayout* m_row;
    QPointer<FocusChip> m_focus;
    QPointer<QWidget> m_nowPlaying;
    QPointer<QWidget> m_listening;
    QPointer<OfflineChip> m_offline;
    QString m_key;  // what the row shows now
};
