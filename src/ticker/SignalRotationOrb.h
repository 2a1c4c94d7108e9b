#pragma once

#include "api/OrbModels.h"
#include "platform/Clock.h"

#include <QPointer>
#include <QWidget>
#include <optional>

class FeedStore;
class FilterStore;
class OrbPhraseLabel;
class QVariantAnimation;
class UrlOpener;

// The rotating topic orb: a glowing dot in the orb's colour and, except at
// the compact size, a column with the topic's label and up to three keyword
// links. Every 10 seconds it moves on to the next orb, unless the pointer
// rests on it or a topic is focused (a paused rotation does not catch up).
// A click on the dot focuses the strip on the shown topic; a click on the
// focused orb releases it.
class SignalRotationOrb : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds rotationInterval{10};
    static constexpr int textColumnWidth = 190;
    static constexpr int maxKeywords = 3;

    struct Services {
        FilterStore& filters;
        UrlOpener& opener;
        Scheduler& scheduler;
    };

    SignalRotationOrb(FeedStore& store, int size, Services services, QWidget* parent = nullptr);

    // Sizes by strip size code.
    static double baseDiameter(int size);
    static double boxSide(int size);
    static double fontSize(int size);  // 0 at the compact size: no text column
    static bool showsText(int size) { return fontSize(size) > 0; }

    int orbIndex() const { return m_orbIndex; }
    // The orb shown: the focused one, else the one at the rotation's index.
    std::optional<Orb> currentOrb() const;
    bool isFocusedOrb() const;
    bool isHovered() const { return m_hovered; }
    bool isPulsing() const { return m_pulse; }
    // Where the dot is, in widget coordinates: the click and help area.
    QRectF dotBox() const;
    // "Exit focus" on the focused orb, else "Focus ticker on " + label.
    QString dotHelp() const;
    // The header text and the lines under it ("SCANNING..." or keywords).
    QString headerText() const;
    QStringList lineTexts() const;
    QList<OrbPhraseLabel*> phraseLabels() const;
    bool keywordMenuOpen() const;

    // One tick of the rotation (the timer calls it every 10 seconds).
    void tick();
    void setHovered(bool hovered);

    QSize sizeHint() const override;

Q_SIGNALS:
    // The orb's ideal size may have changed (orbs arrived or went, the text
    // column changed).
    void contentChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void scheduleTick();
    void refreshContent();
    void rebuildColumn(const std::optional<Orb>& orb);
    void slideIn(QWidget* column);
    void startPulse();
    double intensity() const;

    FeedStore& m_store;
    int m_size;
    Services m_services;
    SingleShot m_timer;
    int m_orbIndex = 0;
    bool m_hovered = false;
    bool m_pulse = false;
    double m_pulseAmount = 0;  // 0...1 between rest and full pulse
    QPointer<QVariantAnimation> m_pulseAnimation;
    QWidget* m_column = nullptr;
    QString m_columnKey;  // what the column shows now
    QString m_columnOrbId;
    bool m_columnPending = false;  // a change waits for a keyword menu to close
};
