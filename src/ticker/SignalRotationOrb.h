#pragma once

#include "api/OrbModels.h"
#include "platform/base/Clock.h"

#include <QPixmap>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <map>
#include <optional>

class FeedStore;
class FilterStore;
class OrbPhraseLabel;

class UrlOpener;
class WindowExposure;

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
    // The glow breathes in this many steps each way; a frame that does not
    // reach the next step paints nothing.
    static constexpr int pulseSteps = 24;
    // A new topic's colour and glow take over in this many steps.
    static constexpr int lookSteps = 10;
    // Whether the pulse animation is advancing now: always once started,
    // except while the orb is hidden or its window is not exposed.
    bool isPulseAnimating() const;
    // The pulse position painted now, in steps (0 at rest).
    int pulseStep() const { return m_pulseStep; }
    // The pulse's animation, for tests that drive it by hand (null until the
    // pulse starts on an orb intense enough to breathe).
    QVariantAnimation* pulseAnimation() const { return m_pulseAnimation; }
    // The dot's colour and glow intensity as painted now: between the last
    // topic's and the shown one's while a rotation's change runs.
    QColor dotColor() const;
    double dotIntensity() const;
    // Another strip size: the dot, glow and text take the new sizes while
    // the rotation, the shown orb and the breath go on where they are.
    void setSize(int size);
    int sizeCode() const { return m_size; }
    // The text column on screen, and the one still leaving after a rotation
    // (null once it has gone).
    QWidget* textColumn() const { return m_column; }
    QWidget* leavingColumn() const { return m_leavingColumn; }

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
    void hideEvent(QHideEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void scheduleTick();
    void refreshContent();
    void rebuildColumn(const std::optional<Orb>& orb);
    void slide(QWidget* column, bool entering);
    void updateLook(const std::optional<Orb>& orb, bool animate);
    void startPulse();
    void updatePulseRunning();
    void setPulseAmount(double amount);
    QPoint glowOrigin(const QPointF& centre, double intensity) const;
    const QPixmap& glowPicture(const QColor& color, double intensity, const QPointF& centre, qreal dpr);
    double intensity() const;

    FeedStore& m_store;
    int m_size;
    Services m_services;
    SingleShot m_timer;
    int m_orbIndex = 0;
    bool m_hovered = false;
    bool m_pulse = false;
    int m_pulseStep = 0;  // 0...pulseSteps between rest and full pulse
    WindowExposure* m_exposure;  // child
    // The glow drawn at each pulse step, for the orb's present look.
    struct GlowLook {
        QRgb color = 0;
        double intensity = -1;
        QPointF centre;
        qreal dpr = 0;
        bool operator==(const GlowLook&) const = default;
    };
    GlowLook m_glowLook;
    std::map<int, QPixmap> m_glows;
    QPointer<QVariantAnimation> m_pulseAnimation;
    // The dot's look: the shown orb's, reached from `from` in lookSteps.
    struct DotLook {
        QColor color;
        double intensity = 0;
    };
    DotLook m_lookFrom;
    DotLook m_lookTo;
    int m_lookStep = lookSteps;  // lookSteps: the change is complete
    QString m_lookOrbId;
    QPointer<QVariantAnimation> m_lookAnimation;
    QWidget* m_column = nullptr;
    QPointer<QWidget> m_leavingColumn;
    QString m_columnKey;  // what the column shows now
    QString m_columnOrbId;
    bool m_columnPending = false;  // a change waits for a keyword menu to close
};
