#include "ticker/SignalRotationOrb.h"

#include "api/Palette.h"
#include "widgets/PlainText.h"
#include "store/FeedStore.h"
#include "ticker/OrbPhraseLabel.h"
#include "ticker/TickerSymbols.h"
#include "ticker/WindowExposure.h"

#include <QEnterEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QToolTip>
#include <QVariantAnimation>
#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QJsonDocument>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <cmath>

namespace {

constexpr int kColumnSpacing = 10;
constexpr int kLineSpacing = -1;  // the column's lines overlap by a point
constexpr int kTransitionMs = 400;

QColor mixed(const QColor& from, const QColor& to, double t)
{
    auto mix = [t](float a, float b) { return a + float(t) * (b - a); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()), mix(from.alphaF(), to.alphaF()));
}

QFont orbFont(double size, QFont::Weight weight, bool monospaced)
{
    QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPixelSize(int(size));
    font.setWeight(weight);
    return font;
}

// The orb's topic label, with the scope symbol in front on the focused orb.
class OrbHeader final : public QWidget {
public:
    OrbHeader(QString text, QColor color, double fontSize, bool focused, QWidget* parent)
        : QWidget(parent), m_text(std::move(text)), m_color(color), m_fontSize(fontSize), m_focused(focused)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QSize sizeHint() const override
    {
        const QFontMetricsF fm(orbFont(m_fontSize, QFont::Black, false));
        const double symbol = m_focused ? m_fontSize + 4 : 0;
        return {int(std::ceil(symbol + fm.horizontalAdvance(m_text))), int(std::ceil(fm.height())) + 2};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QFont font = orbFont(m_fontSize, QFont::Black, false);
        const QFontMetricsF fm(font);
        const double lineHeight = height() - 2;  // 2 points of space below
        double x = 0;
        if (m_focused) {
            p.drawPixmap(QPointF(0, (lineHeight - m_fontSize) / 2),
                         TickerSymbols::pixmap(TickerSymbols::scope, m_fontSize, m_color, devicePixelRatioF()));
            x = m_fontSize + 4;
        }
        p.setFont(font);
        p.setPen(m_color);
        p.drawText(QPointF(x, (lineHeight - fm.height()) / 2 + fm.ascent()),
                   fm.elidedText(m_text, Qt::ElideRight, width() - x));
    }

private:
    QString m_text;
    QColor m_color;
    double m_fontSize;
    bool m_focused;
};

} // namespace

SignalRotationOrb::SignalRotationOrb(FeedStore& store, int size, Services services, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_size(size)
    , m_services(services)
    , m_timer(services.scheduler)
    , m_exposure(new WindowExposure(this, [this] { updatePulseRunning(); }))
{
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&m_store, &FeedStore::orbsChanged, this, [this] { refreshContent(); });
    connect(&m_store, &FeedStore::topicsChanged, this, [this] { refreshContent(); });
    connect(&m_store, &FeedStore::focusedTopicIDChanged, this, [this] { refreshContent(); });
    scheduleTick();
    refreshContent();
}

double SignalRotationOrb::baseDiameter(int size)
{
    return size == 1 ? 10 : size == 4 ? 20 : 14;
}

double SignalRotationOrb::boxSide(int size)
{
    return size == 1 ? 20 : size == 4 ? 40 : 28;
}

double SignalRotationOrb::fontSize(int size)
{
    return size == 1 ? 0 : size == 4 ? 11 : 9;
}

std::optional<Orb> SignalRotationOrb::currentOrb() const
{
    if (std::optional<Orb> focused = m_store.focusedOrb())
        return focused;
    const QList<Orb>& orbs = m_store.orbs();
    if (orbs.isEmpty())
        return std::nullopt;
    return orbs.at(m_orbIndex % orbs.size());
}

bool SignalRotationOrb::isFocusedOrb() const
{
    const std::optional<Orb> focused = m_store.focusedOrb();
    const std::optional<Orb> shown = currentOrb();
    return focused && shown && focused->id == shown->id;
}

QRectF SignalRotationOrb::dotBox() const
{
    const double side = boxSide(m_size);
    return {0, (height() - side) / 2, side, side};
}

QString SignalRotationOrb::dotHelp() const
{
    const std::optional<Orb> orb = currentOrb();
    if (!orb)
        return {};
    return isFocusedOrb() ? QStringLiteral("Exit focus") : QStringLiteral("Focus ticker on ") + orb->topicLabel;
}

double SignalRotationOrb::intensity() const
{
    const std::optional<Orb> orb = currentOrb();
    return orb ? std::clamp(orb->velocityIntensity(), 0.0, 1.0) : 0.0;
}

QColor SignalRotationOrb::dotColor() const
{
    if (m_lookStep >= lookSteps)
        return m_lookTo.color;
    const double t = QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(double(m_lookStep) / lookSteps);
    return mixed(m_lookFrom.color, m_lookTo.color, t);
}

double SignalRotationOrb::dotIntensity() const
{
    if (m_lookStep >= lookSteps)
        return m_lookTo.intensity;
    const double t = QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(double(m_lookStep) / lookSteps);
    return m_lookFrom.intensity + t * (m_lookTo.intensity - m_lookFrom.intensity);
}

void SignalRotationOrb::updateLook(const std::optional<Orb>& orb, bool animate)
{
    const DotLook target{orb ? orb->color(m_store.topics()) : QColor(), intensity()};
    const QString id = orb ? orb->id : QString();
    // Another topic's colour and glow take over in 0.4 s, in a few steps;
    // a change of the same topic (a refresh) shows at once.
    const bool newTopic = animate && !m_lookOrbId.isEmpty() && !id.isEmpty() && id != m_lookOrbId;
    m_lookOrbId = id;
    if (newTopic) {
        m_lookFrom = DotLook{dotColor(), dotIntensity()};
        m_lookTo = target;
        m_lookStep = 0;
        if (!m_lookAnimation) {
            m_lookAnimation = new QVariantAnimation(this);
            m_lookAnimation->setStartValue(0.0);
            m_lookAnimation->setEndValue(1.0);
            m_lookAnimation->setDuration(kTransitionMs);
            connect(m_lookAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
                const int step = std::clamp(int(std::floor(v.toDouble() * lookSteps)), 0, lookSteps);
                if (step == m_lookStep)
                    return;
                m_lookStep = step;
                update(dotBox().toAlignedRect());
            });
            connect(m_lookAnimation, &QVariantAnimation::finished, this, [this] {
                m_lookStep = lookSteps;
                update(dotBox().toAlignedRect());
            });
        }
        m_lookAnimation->stop();
        m_lookAnimation->start();
        return;
    }
    m_lookTo = target;
    if (m_lookAnimation && m_lookAnimation->state() != QAbstractAnimation::Stopped)
        return;  // the running change now ends on the new look
    m_lookStep = lookSteps;
}

void SignalRotationOrb::setSize(int size)
{
    if (size == m_size)
        return;
    m_size = size;
    m_glows.clear();
    m_glowLook = GlowLook{};
    refreshContent();
}

void SignalRotationOrb::scheduleTick()
{
    m_timer.start(rotationInterval, [this] {
        scheduleTick();
        tick();
    });
}

bool SignalRotationOrb::keywordMenuOpen() const
{
    const QList<OrbPhraseLabel*> labels = phraseLabels();
    return std::any_of(labels.begin(), labels.end(), [](OrbPhraseLabel* l) { return l->isMenuOpen(); });
}

void SignalRotationOrb::tick()
{
    // A keyword's open menu counts as the pointer resting on the orb.
    if (m_hovered || m_store.focusedOrb() || keywordMenuOpen())
        return;
    m_orbIndex = (m_orbIndex + 1) % std::max<int>(int(m_store.orbs().size()), 1);
    refreshContent();
}

void SignalRotationOrb::setHovered(bool hovered)
{
    m_hovered = hovered;
}

void SignalRotationOrb::refreshContent()
{
    const std::optional<Orb> orb = currentOrb();
    // Orbs arriving while the orb is on screen start its pulse; another
    // orb's intensity sets a new pace.
    if (orb && (m_pulse || isVisible()))
        startPulse();
    updateLook(orb, isVisible());
    const QSize before = sizeHint();
    rebuildColumn(orb);
    updateGeometry();
    update();
    if (sizeHint() != before)
        Q_EMIT contentChanged();
}

void SignalRotationOrb::rebuildColumn(const std::optional<Orb>& orb)
{
    QString key;
    if (orb && showsText(m_size)) {
        const QJsonObject json = orb->toJson(JsonOptions{});
        key = QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact))
            + (isFocusedOrb() ? QStringLiteral("|focused") : QString())
            + QString::number(orb->color(m_store.topics()).rgba()) + QStringLiteral("|size")
            + QString::number(m_size);
    }
    if (key == m_columnKey && (m_column != nullptr) == !key.isEmpty())
        return;
    if (keywordMenuOpen()) {
        // The column holds the label whose menu shows: change it afterwards.
        m_columnPending = true;
        return;
    }
    // A new topic slides in; the same topic with new details just redraws.
    const bool newTopic = m_column && orb && orb->id != m_columnOrbId;
    m_columnKey = key;
    m_columnOrbId = orb ? orb->id : QString();
    if (newTopic && isVisible()) {
        // The old text leaves while the new one comes in; only one leaves
        // at a time.
        delete m_leavingColumn.data();
        m_leavingColumn = m_column;
        m_column->setAttribute(Qt::WA_TransparentForMouseEvents);
        slide(m_column, false);
    } else {
        delete m_column;
    }
    m_column = nullptr;
    if (key.isEmpty())
        return;

    const double font = fontSize(m_size);
    const QColor color = orb->color(m_store.topics());
    m_column = new QWidget(this);
    QList<QWidget*> lines;
    lines << new OrbHeader(orb->topicLabel.toUpper(), color, font, isFocusedOrb(), m_column);
    const QStringList keywords = orb->keywords.value_or(QStringList{}).mid(0, maxKeywords);
    if (keywords.isEmpty()) {
        auto* scanning = new QLabel(QStringLiteral("SCANNING..."), m_column);
        scanning->setTextFormat(Qt::PlainText);
        scanning->setFont(orbFont(font, QFont::Bold, true));
        QPalette palette = scanning->palette();
        palette.setColor(QPalette::WindowText, Palette::secondaryText());
        scanning->setPalette(palette);
        lines << scanning;
    }
    for (qsizetype i = 0; i < keywords.size(); ++i) {
        auto* label = new OrbPhraseLabel(keywords[i].toUpper(), orb->keywordURL(i), font, keywords[i],
                                         m_services.filters, m_services.opener, m_column);
        connect(label, &OrbPhraseLabel::menuClosed, this, [this] {
            if (!m_columnPending)
                return;
            m_columnPending = false;
            // Queued: the label is still inside its own event handler.
            QMetaObject::invokeMethod(this, [this] { refreshContent(); }, Qt::QueuedConnection);
        });
        lines << label;
    }
    // Stacked by hand: a box layout reads a negative spacing as "the style's".
    int y = 0;
    for (QWidget* line : lines) {
        const int h = line->sizeHint().height();
        line->setGeometry(0, y, textColumnWidth, h);
        y += h + kLineSpacing;
    }
    m_column->setFixedSize(textColumnWidth, y - kLineSpacing);
    const double box = boxSide(m_size);
    m_column->move(int(box) + kColumnSpacing, 0);
    m_column->show();
    if (newTopic && isVisible())
        slide(m_column, true);
}

void SignalRotationOrb::slide(QWidget* column, bool entering)
{
    // Fades in while rising from the bottom edge, or fades out while
    // sinking to it; 0.4 s, ease in and out. The orb clips what lies below.
    auto* fade = new QGraphicsOpacityEffect(column);
    fade->setOpacity(entering ? 0.0 : 1.0);
    column->setGraphicsEffect(fade);
    auto* group = new QParallelAnimationGroup(column);
    auto* opacity = new QPropertyAnimation(fade, "opacity", group);
    opacity->setStartValue(entering ? 0.0 : 1.0);
    opacity->setEndValue(entering ? 1.0 : 0.0);
    auto* move = new QPropertyAnimation(column, "pos", group);
    const QPoint rest = column->pos();
    const QPoint below(rest.x(), std::max(height(), sizeHint().height()));
    move->setStartValue(entering ? below : rest);
    move->setEndValue(entering ? rest : below);
    for (QPropertyAnimation* a : {opacity, move}) {
        a->setDuration(kTransitionMs);
        a->setEasingCurve(QEasingCurve::InOutQuad);
    }
    if (entering)
        connect(group, &QAbstractAnimation::finished, column, [column] { column->setGraphicsEffect(nullptr); });
    else
        connect(group, &QAbstractAnimation::finished, column, &QObject::deleteLater);
    if (!entering)
        column->lower();
    column->move(entering ? below : rest);
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

QString SignalRotationOrb::headerText() const
{
    const std::optional<Orb> orb = currentOrb();
    return orb && showsText(m_size) ? orb->topicLabel.toUpper() : QString();
}

QStringList SignalRotationOrb::lineTexts() const
{
    QStringList lines;
    if (!m_column)
        return lines;
    for (QObject* child : m_column->children()) {
        if (auto* label = qobject_cast<QLabel*>(child))
            lines.append(label->text());
        else if (auto* phrase = qobject_cast<OrbPhraseLabel*>(child))
            lines.append(phrase->text());
    }
    return lines;
}

QList<OrbPhraseLabel*> SignalRotationOrb::phraseLabels() const
{
    return m_column ? m_column->findChildren<OrbPhraseLabel*>() : QList<OrbPhraseLabel*>{};
}

QSize SignalRotationOrb::sizeHint() const
{
    if (m_store.orbs().isEmpty() && !m_store.focusedOrb())
        return {0, 0};
    const int box = int(boxSide(m_size));
    if (!m_column)
        return {box, box};
    const int columnHeight = m_column->height();
    return {box + kColumnSpacing + textColumnWidth, std::max(box, columnHeight)};
}

void SignalRotationOrb::startPulse()
{
    m_pulse = true;
    const double i = intensity();
    if (i <= 0.15) {
        if (m_pulseAnimation)
            m_pulseAnimation->stop();
        setPulseAmount(1);  // settles in the pulsed state
        return;
    }
    // One swing out and one back, each max(2.2 − 1.4 × intensity, 0.8) s.
    const int duration = int(2000 * std::max(2.2 - 1.4 * i, 0.8));
    if (m_pulseAnimation && m_pulseAnimation->state() != QAbstractAnimation::Stopped
        && m_pulseAnimation->duration() == duration)
        return;  // the same pace: the breath goes on where it is
    if (m_pulseAnimation)
        m_pulseAnimation->stop();
    if (!m_pulseAnimation) {
        m_pulseAnimation = new QVariantAnimation(this);
        m_pulseAnimation->setStartValue(0.0);
        m_pulseAnimation->setKeyValueAt(0.5, 1.0);
        m_pulseAnimation->setEndValue(0.0);
        m_pulseAnimation->setLoopCount(-1);
        connect(m_pulseAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            setPulseAmount(QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(v.toDouble()));
        });
    }
    m_pulseAnimation->setDuration(duration);
    m_pulseAnimation->start();
    updatePulseRunning();
}

void SignalRotationOrb::setPulseAmount(double amount)
{
    const int step = int(std::lround(std::clamp(amount, 0.0, 1.0) * pulseSteps));
    if (step == m_pulseStep)
        return;
    m_pulseStep = step;
    update(dotBox().toAlignedRect());
}

bool SignalRotationOrb::isPulseAnimating() const
{
    return m_pulseAnimation && m_pulseAnimation->state() == QAbstractAnimation::Running;
}

void SignalRotationOrb::updatePulseRunning()
{
    if (!m_pulseAnimation || m_pulseAnimation->state() == QAbstractAnimation::Stopped)
        return;
    const bool run = isVisible() && m_exposure->isExposed();
    if (run && m_pulseAnimation->state() == QAbstractAnimation::Paused)
        m_pulseAnimation->resume();
    else if (!run && m_pulseAnimation->state() == QAbstractAnimation::Running)
        m_pulseAnimation->pause();
}

void SignalRotationOrb::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_exposure->follow();
    if (!m_pulse && currentOrb())
        startPulse();
    updatePulseRunning();
}

void SignalRotationOrb::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updatePulseRunning();
}

void SignalRotationOrb::paintEvent(QPaintEvent*)
{
    const std::optional<Orb> orb = currentOrb();
    if (!orb)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor color = dotColor();
    const double i = dotIntensity();
    const double base = baseDiameter(m_size);
    const QPointF centre = dotBox().center();

    // Glow: scaled up and brightened by the pulse. Each step of the pulse is
    // drawn once and then reused for as long as the orb looks the same.
    p.drawPixmap(glowOrigin(centre, i), glowPicture(color, i, centre, p.device()->devicePixelRatioF()));

    p.setBrush(color);
    p.drawEllipse(centre, base / 2, base / 2);
    if (isFocusedOrb()) {
        const double ring = boxSide(m_size);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(color, 1.5));
        p.drawEllipse(centre, ring / 2 - 0.75, ring / 2 - 0.75);
    }
}

QPoint SignalRotationOrb::glowOrigin(const QPointF& centre, double intensity) const
{
    const double largest = (1.5 + 0.9 * intensity) * baseDiameter(m_size) * (1 + 0.22 * intensity);
    return QPoint(int(std::floor(centre.x() - largest / 2)) - 1, int(std::floor(centre.y() - largest / 2)) - 1);
}

const QPixmap& SignalRotationOrb::glowPicture(const QColor& color, double intensity, const QPointF& centre, qreal dpr)
{
    const QPoint origin = glowOrigin(centre, intensity);
    const QPointF within = centre - QPointF(origin);  // keeps the centre's fraction
    const GlowLook look{color.rgba(), intensity, within, dpr};
    if (!(look == m_glowLook)) {
        m_glowLook = look;
        m_glows.clear();
    }
    auto found = m_glows.find(m_pulseStep);
    if (found != m_glows.end())
        return found->second;

    const double pulse = double(m_pulseStep) / pulseSteps;
    const double scale = 1 + 0.22 * intensity * pulse;
    const double glow = (1.5 + 0.9 * intensity) * baseDiameter(m_size) * scale;
    const int side = int(std::ceil(2 * within.x())) + 2;
    QPixmap picture(int(std::ceil(side * dpr)), int(std::ceil(side * dpr)));
    picture.setDevicePixelRatio(dpr);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        QColor inner = color;
        inner.setAlphaF(float(std::min(1.0, 0.55 + 0.35 * intensity)));
        QColor outer = color;
        outer.setAlphaF(0);
        QRadialGradient gradient(within, glow / 2);
        gradient.setColorAt(0, inner);
        gradient.setColorAt(1, outer);
        p.setOpacity(0.7 + 0.3 * pulse);
        p.setPen(Qt::NoPen);
        p.setBrush(gradient);
        p.drawEllipse(within, glow / 2, glow / 2);
    }
    return m_glows.emplace(m_pulseStep, std::move(picture)).first->second;
}

bool SignalRotationOrb::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (dotBox().contains(help->pos()) && currentOrb())
            QToolTip::showText(help->globalPos(), PlainText::toolTip(dotHelp()), this, dotBox().toAlignedRect());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void SignalRotationOrb::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    setHovered(true);
}

void SignalRotationOrb::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setHovered(false);
}

void SignalRotationOrb::mouseReleaseEvent(QMouseEvent* event)
{
    const std::optional<Orb> orb = currentOrb();
    if (orb && event->button() == Qt::LeftButton && dotBox().contains(event->position())) {
        m_store.focusTopic(orb->id);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}
