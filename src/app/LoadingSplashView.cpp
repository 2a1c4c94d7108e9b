#include "app/LoadingSplashView.h"

#include "api/Color.h"
#include "api/Palette.h"
#include "app/RollingText.h"
#include "platform/storage/Defaults.h"
#include "platform/storage/SettingsCatalogue.h"
#include "settings/TidewireMark.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QRandomGenerator>
#include <QSequentialAnimationGroup>

#include <algorithm>

namespace {

constexpr qreal kDimOpacity = 0.2;
constexpr int kBreathMs = 1200;

QPropertyAnimation* breath(TidewireMark* mark, qreal from, qreal to)
{
    auto* animation = new QPropertyAnimation(mark, "markOpacity");
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setDuration(kBreathMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    return animation;
}

} // namespace

const QStringList& LoadingSplashView::phrases()
{
    static const QStringList list{
        QStringLiteral("CALIBRATING SIGNAL..."), QStringLiteral("INDEXING WORLD..."),
        QStringLiteral("SYNCING ORBS..."),       QStringLiteral("DETECTING PULSE..."),
        QStringLiteral("ALIGNING FEEDS..."),     QStringLiteral("READING CURRENTS..."),
        QStringLiteral("FETCHING TRUTH..."),     QStringLiteral("OBSERVING..."),
        QStringLiteral("CONNECTING..."),         QStringLiteral("TUNING NOISE..."),
    };
    return list;
}

int LoadingSplashView::markHeight(int size)
{
    return size == 1 ? 10 : size == 4 ? 20 : 14;
}

int LoadingSplashView::fontPixelSize(int size)
{
    return size == 1 ? 10 : size == 4 ? 18 : 13;
}

LoadingSplashView::LoadingSplashView(int size, Defaults& defaults, Scheduler& scheduler, Draw draw, QWidget* parent)
    : QWidget(parent), m_defaults(defaults), m_timer(scheduler), m_draw(std::move(draw)),
      m_mark(new TidewireMark(markHeight(size), Color::hex(u"E9EBEF"), Color::hex(u"4A7DFF"), this)),
      m_phrase(new RollingText(this)), m_pulse(new QSequentialAnimationGroup(this))
{
    if (!m_draw)
        m_draw = [](int count) { return int(QRandomGenerator::global()->bounded(count)); };

    m_mark->setMarkOpacity(kDimOpacity);
    m_pulse->addAnimation(breath(m_mark, kDimOpacity, 1.0));
    m_pulse->addAnimation(breath(m_mark, 1.0, kDimOpacity));
    m_pulse->setLoopCount(-1);

    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setWeight(QFont::Medium);
    font.setPixelSize(fontPixelSize(size));
    m_phrase->setFont(font);
    QPalette palette = m_phrase->palette();
    palette.setColor(QPalette::WindowText, Color::mutedText());
    m_phrase->setPalette(palette);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addStretch(1);
    row->addWidget(m_mark, 0, Qt::AlignVCenter);
    row->addWidget(m_phrase, 0, Qt::AlignVCenter);
    row->addStretch(1);

    connect(&m_defaults, &Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String("themeBackground"))
            update();
    });
}

LoadingSplashView::~LoadingSplashView() = default;

QString LoadingSplashView::thought() const
{
    return m_phrase->text();
}

bool LoadingSplashView::isPulsing() const
{
    return m_pulse->state() == QAbstractAnimation::Running;
}

void LoadingSplashView::drawPhrase()
{
    const int count = int(phrases().size());
    m_phrase->setText(phrases().value(std::clamp(m_draw(count), 0, count - 1)));
}

void LoadingSplashView::scheduleNextPhrase()
{
    m_timer.start(kPhraseInterval, [this] {
        drawPhrase();
        scheduleNextPhrase();
    });
}

void LoadingSplashView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    drawPhrase();
    scheduleNextPhrase();
    m_pulse->start();
}

void LoadingSplashView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer.cancel();
    m_pulse->stop();
}

void LoadingSplashView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), themeBackgroundColor(
                                 Settings::themeBackground.read(m_defaults)));
}
