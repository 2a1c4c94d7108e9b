#include "settings/MusicTab.h"

#include "platform/storage/Defaults.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsKit.h"
#include "ticker/StripServices.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

using namespace SettingsKit;

MusicTab::MusicTab(FeedStore&, QWidget* parent, Defaults* defaults) : QWidget(parent)
{
    Defaults& d = defaults ? *defaults : Defaults::standard();
    m_nowPlaying = boolSwitch(Settings::nowPlayingEnabled, d, this);
    m_blend = boolSwitch(Settings::musicBlendWithFeeds, d, this);
    m_room = boolSwitch(Settings::roomListenEnabled, d, this);
    m_reason = noteLabel(this);
    m_reason->setText(QStringLiteral("Room music recognition is not available on Linux."));
    // Without recognition the switch only turns listening off: greyed out
    // while off, with the reason beside it.
    const bool canListen = StripServices::installed().canListenToRoom();
    m_reason->setHidden(canListen);
    if (!canListen)
        follow(d, {Settings::roomListenEnabled.key.toString()}, m_room,
               [room = m_room, &d] { room->setEnabled(Settings::roomListenEnabled.read(d)); });

    QVBoxLayout* column = makePage(this);
    auto* music = new ConfigSection(QStringLiteral("MUSIC"));
    music->addRow(new ConfigRow(QStringLiteral("Tune to what's playing"), m_nowPlaying));
    music->addRow(new ConfigRow(QStringLiteral("Blend music with my feeds"), m_blend));
    music->addRow(new ConfigRow(QStringLiteral("Listen to the room"), m_room));
    column->addWidget(music);
    column->addWidget(m_reason);
}
