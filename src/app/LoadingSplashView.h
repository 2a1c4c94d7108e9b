#pragma once

#include "platform/base/Clock.h"

#include <QStringList>
#include <QWidget>
#include <functional>

class Defaults;
class RollingText;
class QSequentialAnimationGroup;
class TidewireMark;

// Fills the ticker window while the feed store is not running: the brand
// mark breathing between 20 % and full opacity, and a short status phrase
// that is drawn again every 2.5 seconds while the splash is on screen; a new
// phrase counts up into place of the old. It
// looks the same while booting and after an error. The phrase timer runs on
// the injected scheduler; the background follows "themeBackground".
class LoadingSplashView : public QWidget {
    Q_OBJECT
public:
    // Picks an index in [0, count): uniform random by default.
    using Draw = std::function<int(int count)>;

    static const QStringList& phrases();
    static constexpr Scheduler::Duration kPhraseInterval{2500};

    LoadingSplashView(int size, Defaults& defaults, Scheduler& scheduler, Draw draw = {},
                      QWidget* parent = nullptr);
    ~LoadingSplashView() override;

    QString thought() const;
    TidewireMark* mark() const { return m_mark; }
    RollingText* phraseView() const { return m_phrase; }
    bool isPulsing() const;

    static int markHeight(int size);
    static int fontPixelSize(int size);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawPhrase();
    void scheduleNextPhrase();

    Defaults& m_defaults;
    SingleShot m_timer;
    Draw m_draw;
    TidewireMark* m_mark;
    RollingText* m_phrase;
    QSequentialAnimationGroup* m_pulse;
};
