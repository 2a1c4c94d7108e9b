#pragma once

#include <QString>
#include <QWidget>
#include <functional>

// The capsule naming the track the ticker is tuned to, "artist — track",
// with a close button that detaches the lane. Plain text, elided to at most
// 320 px.
class NowPlayingChip : public QWidget {
    Q_OBJECT
public:
    NowPlayingChip(QString artist, QString track, std::function<void()> onExit, QWidget* parent = nullptr);

    void setTrack(const QString& artist, const QString& track);
    const QString& artist() const { return m_artist; }
    const QString& track() const { return m_track; }
    // The whole text before eliding.
    QString text() const;
    // Where the close button sits, in widget coordinates.
    QRectF closeButtonRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_artist;
    QString m_track;
    std::function<void()> m_onExit;
};
