#pragma once

#include <QWidget>

class Defaults;
class FeedStore;
class QCheckBox;
class QLabel;

// The music lane: tuning the strip to the playing artist, blending the
// artist's headlines with the feeds, and listening to the room. Where the
// room cannot be listened to (Linux today) that switch can only turn the
// setting off, and the tab says why.
class MusicTab : public QWidget {
    Q_OBJECT
public:
    // `defaults` defaults to Defaults::standard().
    explicit MusicTab(FeedStore& store, QWidget* parent = nullptr, Defaults* defaults = nullptr);

    QCheckBox* nowPlayingSwitch() const { return m_nowPlaying; }
    QCheckBox* blendSwitch() const { return m_blend; }
    QCheckBox* roomSwitch() const { return m_room; }
    QLabel* roomReason() const { return m_reason; }

private:
    QCheckBox* m_nowPlaying;
    QCheckBox* m_blend;
    QCheckBox* m_room;
    QLabel* m_reason;
};
