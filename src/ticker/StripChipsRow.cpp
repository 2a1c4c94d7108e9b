#include "ticker/StripChipsRow.h"

#include "platform/storage/Defaults.h"
#include "store/FeedStore.h"
#include "ticker/FocusChip.h"
#include "ticker/OfflineChip.h"
#include "ticker/StripMusicViews.h"

#include <QHBoxLayout>

StripChipsRow::StripChipsRow(FeedStore& store, Defaults& defaults, std::function<void()> exitFocus, QWidget* parent)
    : QWidget(parent), m_store(store), m_defaults(defaults), m_exitFocus(std::move(exitFocus)), m_row(new QHBoxLayout(this))
{
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->setSpacing(8);
    for (auto signal : {&FeedStore::focusedTopicIDChanged, &FeedStore::orbsChanged, &FeedStore::nowPlayingChanged,
                        &FeedStore::isRoomListeningChanged, &FeedStore::isOnlineChanged,
                        &FeedStore::lastUpdatedChanged})
        connect(&m_store, signal, this, [this] { rebuild(); });
    rebuild();
}

template <class T>
void StripChipsRow::drop(QPointer<T>& chip)
{
    if (!chip)
        return;
    // A chip's own close button gets here from inside its event handler:
    // it goes once that handler has returned.
    chip->hide();
    m_row->removeWidget(chip);
    chip->deleteLater();
    chip = nullptr;
}

void StripChipsRow::rebuild()
{
    const std::optional<Orb> focused = m_store.focusedOrb();
    const auto& playing = m_store.nowPlaying();
    const bool listening = !focused && !playing && m_store.isRoomListening();
    const bool offline = !m_store.isOnline();
    const std::optional<QString> relative = offline ? m_store.lastUpdatedText() : std::nullopt;

    QStringList key;
    key << (focused ? QStringLiteral("focus:") + focused->topicLabel : QString())
        << (!focused && playing ? QStringLiteral("np:") + playing->artist + QChar(0x1f) + playing->track : QString())
        << (listening ? QStringLiteral("listening") : QString())
        << (offline ? QStringLiteral("offline:") + relative.value_or(QStringLiteral("-")) : QString());
    const QString joined = key.join(QChar(0x1e));
    if (!m_key.isNull() && joined == m_key)
        return;
    m_key = joined;

    drop(m_focus);
    drop(m_nowPlaying);
    drop(m_listening);
    drop(m_offline);
    if (focused) {
        m_focus = new FocusChip(focused->topicLabel, m_exitFocus, this);
        m_row->addWidget(m_focus);
    } else if (playing) {
        FeedStore* store = &m_store;
        m_nowPlaying = StripMusicViews::makeNowPlayingChip(playing->artist, playing->track,
                                                           [store] { store->clearNowPlaying(); }, this);
        m_row->addWidget(m_nowPlaying);
    } else if (listening) {
        Defaults* defaults = &m_defaults;
        m_listening = StripMusicViews::makeListeningChip([defaults] { defaults->setAndSave(roomListenKey, false); }, this);
        m_row->addWidget(m_listening);
    }
    if (offline) {
        m_offline = new OfflineChip(relative, this);
        m_row->addWidget(m_offline);
    }
    // The offline chip alone never takes the pointer.
    setAttribute(Qt::WA_TransparentForMouseEvents, !(focused || playing || listening));
    m_row->activate();
    adjustSize();
    Q_EMIT contentChanged();
}
