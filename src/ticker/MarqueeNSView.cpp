#include "ticker/MarqueeNSView.h"

#include "platform/base/Logging.h"
#include "ticker/MarqueeClock.h"
#include "ticker/PaintedRowsAccessible.h"
#include "ticker/PopupMenu.h"
#include "ticker/WindowExposure.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGraphicsEffect>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

// Frames come from the application's animation timer, the one every other
// animation of the window ticks on: their repaints then land in the same
// window update instead of each paying for its own.
class MarqueeNSView::FrameDriver final : public QAbstractAnimation {
public:
    FrameDriver(std::function<void()> tick, QObject* parent) : QAbstractAnimation(parent), m_tick(std::move(tick))
    {
    }
    int duration() const override { return -1; }

protected:
    void updateCurrentTime(int) override { m_tick(); }

private:
    std::function<void()> m_tick;
};

MarqueeNSView::MarqueeNSView(QWidget* parent) : MarqueeNSView(MarqueeClock::steady(), parent) {}

MarqueeNSView::MarqueeNSView(MarqueeClock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_pointer([] { return QCursor::pos(); })
{
    setMouseTracking(true);
    setAttribute(Qt::WA_NoSystemBackground);
    m_frames = new FrameDriver([this] { frameTick(); }, this);
    // Unmapped or minimised: no frames until the window shows again.
    m_exposure = new WindowExposure(this, [this] { updateFrameTimer(); });
    PaintedRowsAccessible::installFactory();
}

MarqueeNSView::~MarqueeNSView()
{
    if (m_hovering)
        qApp->removeEventFilter(this);
}

double MarqueeNSView::now() const
{
    return m_clock.seconds();
}

double MarqueeNSView::phase() const
{
    return m_motion.phaseAt(now());
}

MarqueeCell* MarqueeNSView::cell(int index) const
{
    return index >= 0 && index < int(m_cells.size()) ? m_cells[size_t(index)].get() : nullptr;
}

void MarqueeNSView::setBackground(const QColor& color)
{
    if (color == m_background)
        return;
    m_background = color;
    setAttribute(Qt::WA_OpaquePaintEvent, color.alpha() == 255);
    repaintAll();
}

void MarqueeNSView::repaintAll()
{
    m_resyncOffset = true;
    update();
}

void MarqueeNSView::setPointerSource(std::function<QPoint()> source)
{
    m_pointer = source ? std::move(source) : [] { return QCursor::pos(); };
}

void MarqueeNSView::updateContent(MarqueeContent content, int size, bool reversed, double speed)
{
    healHoverLatch("update");
    const bool sizeChanged = size != m_renderedSize;
    const bool directionChanged = reversed != m_reversed;
    const bool rebuild = content.key != m_itemKey || sizeChanged || directionChanged;

    if (rebuild && m_hovering && m_stripWidth > 0 && !sizeChanged && !directionChanged) {
        qCDebug(lcMarquee, "defer rebuild while hovering: %ld items", long(content.key.size()));
        m_pendingKey = content.key;
        m_pending = std::move(content);  // a later deferred update replaces this one
    } else if (rebuild) {
        m_pending.reset();
        m_pendingKey.clear();
        m_itemKey = content.key;
        m_renderedSize = size;
        m_reversed = reversed;
        rebuildStrip(std::move(content));
    } else if (m_pending) {
        // The content on screen came back: what waited is stale now.
        m_pending.reset();
        m_pendingKey.clear();
    }
    setSpeedValue(MarqueeMotion::sanitizedSpeed(speed));
    setRunning(!m_hovering);
}

void MarqueeNSView::rebuildStrip(MarqueeContent content)
{
    const double t = now();
    const bool wasRunning = m_motion.isRunning();
    const double from = wasRunning ? m_motion.phaseAt(t) : m_motion.modelTx();
    m_motion.freeze(t);

    m_cells.clear();
    m_cellRects.clear();
    m_pixmaps.clear();
    m_widestCell = 0;
    m_hoveredCell = -1;
    m_pressedCell = -1;
    ++m_rebuildCount;
    if (content.makeCells)
        m_cells = content.makeCells();
    m_looks.assign(m_cells.size(), std::nullopt);

    if (m_cells.empty()) {
        qCInfo(lcMarquee, "strip rebuilt EMPTY");
        m_stripWidth = 0;
        m_stripHeight = 0;
        m_motion.setPeriod(0);
        m_motion.setModelTx(0);
        updateFrameTimer();
        repaintAll();
        return;
    }

    double x = 0;
    double height = 0;
    QList<QSizeF> sizes;
    sizes.reserve(qsizetype(m_cells.size()));
    for (const auto& c : m_cells) {
        QSizeF s = c->idealSize();
        if (!std::isfinite(s.width()) || !std::isfinite(s.height()))
            s = QSizeF(0, 0);
        sizes.append(s);
        height = std::max(height, s.height());
        m_widestCell = std::max(m_widestCell, s.width());
    }
    for (const QSizeF& s : sizes) {
        m_cellRects.append(QRectF(x, (height - s.height()) / 2.0, s.width(), s.height()));
        x += s.width() + gap;
    }
    m_stripWidth = x - gap;
    m_stripHeight = height;
    if (!(m_stripWidth > 0) || !(m_stripHeight > 0)) {
        qCCritical(lcMarquee, "strip measured %fx%f for %ld items — will render blank", m_stripWidth,
                   m_stripHeight, long(m_cells.size()));
    }

    updatePixmapBudget(devicePixelRatioF());
    m_motion.setReversed(m_reversed);
    m_motion.setPeriod(m_stripWidth + gap);
    qCDebug(lcMarquee, "strip rebuilt: %ld cells, period %.1f", long(m_cells.size()), m_motion.period());
    m_motion.setModelTx(m_motion.wrap(from));
    if (wasRunning && m_stripWidth > 0)
        m_motion.start(t, m_motion.modelTx());
    updateFrameTimer();
    repaintAll();
}

void MarqueeNSView::setSpeedValue(double speed)
{
    m_motion.setSpeed(now(), speed);
}

void MarqueeNSView::setRunning(bool run)
{
    if (!(m_stripWidth > 0) || m_dismantled)
        return;
    if (run) {
        if (!m_motion.isRunning())
            m_motion.start(now(), m_motion.modelTx());
    } else {
        m_motion.freeze(now());
    }
    updateFrameTimer();
    repaintAll();
}

void MarqueeNSView::dismantle()
{
    m_motion.freeze(now());
    m_dismantled = true;
    updateFrameTimer();
}

void MarqueeNSView::cellsChanged()
{
    // Looks are read again now for the cells on screen, later for the others
    // (when they next paint), never at every frame.
    std::vector<std::optional<Look>> before(m_cells.size());
    before.swap(m_looks);
    if (m_resyncOffset || m_shownOffset == std::numeric_limits<qint64>::min() || !isVisible()) {
        update();  // a whole paint reads every look it draws
        return;
    }
    // Only the cells whose look moved are painted again, where the row is
    // shown now, so a frame can go on moving the rest.
    QRegion changed;
    const qreal dpr = devicePixelRatioF();
    const double x0 = double(m_shownOffset) / dpr;
    for (int copy = 0; copy < 2; ++copy) {
        const double origin = x0 + copyOffset(copy);
        for (int i = 0; i < m_cellRects.size(); ++i) {
            const QRectF shown = m_cellRects[i].translated(origin, trackY());
            if (shown.right() < 0 || shown.left() >= width())
                continue;
            std::optional<Look>& look = m_looks[size_t(i)];
            if (!look)
                look = Look{m_cells[size_t(i)]->appearance(dpr), dpr};
            const std::optional<Look>& was = before[size_t(i)];
            if (!was || was->value != look->value || was->dpr != look->dpr)
                changed += shown.toAlignedRect();
        }
    }
    if (!changed.isEmpty())
        update(changed);
}

void MarqueeNSView::applyPendingUpdate()
{
    if (!m_pending)
        return;
    MarqueeContent content = std::move(*m_pending);
    m_pending.reset();
    m_itemKey = m_pendingKey;
    m_pendingKey.clear();
    rebuildStrip(std::move(content));  // keeps the frozen phase
}

bool MarqueeNSView::pointerInside(const QPoint& global) const
{
    return rect().contains(mapFromGlobal(global));
}

void MarqueeNSView::healHoverLatch(const char* reason)
{
    if (!m_hovering)
        return;
    const QWidget* top = window();
    if (top && top->isVisible() && isVisible() && pointerInside(m_pointer()))
        return;
    qCInfo(lcMarquee, "hover latch healed (%s): pointer not over strip, pending=%ld", reason,
           m_pending ? long(m_pending->key.size()) : -1L);
    setHovering(false);
    applyPendingUpdate();
    if (m_stripWidth > 0 && !m_motion.isRunning() && !m_dismantled)
        m_motion.start(now(), m_motion.modelTx());
    updateFrameTimer();
    repaintAll();
}

void MarqueeNSView::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    Q_EMIT hoveringChanged(hovering);
    // While paused, watch every pointer move in the application: widgets laid
    // over the strip take the pointer's events, and only its position decides
    // whether it is still over the strip.
    if (hovering) {
        qApp->installEventFilter(this);
    } else {
        qApp->removeEventFilter(this);
        setHoveredCell(-1);
    }
}

void MarqueeNSView::pointerEntered()
{
    setHovering(true);
    setRunning(false);
}

void MarqueeNSView::pointerLeft()
{
    setHovering(false);
    applyPendingUpdate();
    setRunning(true);
}

void MarqueeNSView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    // Decided by where the pointer is, not by which widget got the event.
    if (!m_hovering && pointerInside(m_pointer()))
        pointerEntered();
}

void MarqueeNSView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_hovering && !pointerInside(m_pointer()))
        pointerLeft();
}

bool MarqueeNSView::eventFilter(QObject* watched, QEvent* event)
{
    if (m_hovering && watched != this) {
        if (event->type() == QEvent::MouseMove) {
            const auto* move = static_cast<QMouseEvent*>(event);
            if (!pointerInside(move->globalPosition().toPoint()))
                pointerLeft();
        } else if (event->type() == QEvent::Leave && watched->isWindowType()) {
            if (!pointerInside(m_pointer()))
                pointerLeft();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MarqueeNSView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_exposure->follow();
    healHoverLatch("window");
    updateFrameTimer();
}

void MarqueeNSView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    healHoverLatch("window");
    updateFrameTimer();
}

qint64 MarqueeNSView::deviceOffset() const
{
    return std::llround(phase() * devicePixelRatioF());
}

bool MarqueeNSView::isFrameTimerActive() const
{
    return m_frames->state() == QAbstractAnimation::Running;
}

bool MarqueeNSView::frameTick()
{
    // The row sits on whole device pixels: a frame that would not move it by
    // one paints nothing.
    const qint64 offset = deviceOffset();
    if (offset == m_shownOffset)
        return false;
    if (!m_resyncOffset && moveShownRow(offset - m_shownOffset)) {
        m_shownOffset = offset;
        ++m_scrolledFrames;
        return true;
    }
    m_resyncOffset = true;
    update(trackRect());
    ++m_repaintedFrames;
    return true;
}

bool MarqueeNSView::moveShownRow(qint64 shift)
{
    // Moving pixels needs a background painted here (translucent pixels
    // would carry what lay beneath them) and whole logical pixels.
    if (m_background.alpha() != 255 || m_shownOffset == std::numeric_limits<qint64>::min())
        return false;
    const qreal dpr = devicePixelRatioF();
    const qint64 scale = std::llround(dpr);
    if (scale < 1 || dpr != qreal(scale) || shift % scale != 0)
        return false;
    for (const QWidget* w = this; w; w = w->parentWidget()) {
        if (const QGraphicsEffect* effect = w->graphicsEffect(); effect && effect->isEnabled())
            return false;
    }
    const int dx = int(shift / scale);
    QList<QRect> bands = movableBands();
    bands.removeIf([dx](const QRect& band) { return std::abs(dx) >= band.width(); });
    if (bands.isEmpty())
        return false;
    // What lies under the overlaid widgets is painted afresh, at the offset
    // the moved pixels now show.
    QRegion rest(trackRect());
    for (const QRect& band : bands)
        rest -= band;
    m_shownOffset += shift;
    for (const QRect& band : bands)
        scroll(dx, 0, band);
    if (!rest.isEmpty())
        update(rest);
    return true;
}

namespace {

// Rectangles of the visible widgets stacked above `view` (later siblings of
// it or of an ancestor up to the window), in `view`'s coordinates, cut to
// `track`.
QList<QRect> coveringWidgets(const QWidget* view, const QRect& track)
{
    QList<QRect> covers;
    for (const QWidget* w = view; w && !w->isWindow(); w = w->parentWidget()) {
        const QWidget* parent = w->parentWidget();
        if (!parent)
            break;
        bool above = false;
        for (const QObject* child : parent->children()) {
            if (child == w) {
                above = true;
                continue;
            }
            const auto* sibling = qobject_cast<const QWidget*>(child);
            if (!above || !sibling || sibling->isWindow() || !sibling->isVisible())
                continue;
            const QRect over = QRect(view->mapFrom(parent, sibling->geometry().topLeft()), sibling->size()) & track;
            if (!over.isEmpty())
                covers.append(over);
        }
    }
    return covers;
}

} // namespace

QList<QRect> MarqueeNSView::movableBands() const
{
    const QRect track = trackRect();
    const QList<QRect> covers = coveringWidgets(this, track);
    QList<int> edges{track.top(), track.bottom() + 1};
    for (const QRect& c : covers)
        edges << c.top() << c.bottom() + 1;
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

    QList<QRect> bands;
    for (qsizetype i = 0; i + 1 < edges.size(); ++i) {
        const int top = edges[i];
        const int bottom = edges[i + 1];  // exclusive
        int left = track.left();
        int right = track.right() + 1;
        // A widget on the leading half cuts the band from the left, one on
        // the trailing half from the right.
        for (const QRect& c : covers) {
            if (c.bottom() < top || c.top() >= bottom)
                continue;
            if (c.center().x() < track.center().x())
                left = std::max(left, c.right() + 1);
            else
                right = std::min(right, c.left());
        }
        if (right <= left)
            continue;
        const QRect band(left, top, right - left, bottom - top);
        if (!bands.isEmpty() && bands.last().left() == band.left() && bands.last().right() == band.right()
            && bands.last().bottom() + 1 == band.top())
            bands.last().setBottom(band.bottom());
        else
            bands.append(band);
    }
    return bands;
}

QRect MarqueeNSView::trackRect() const
{
    if (!(m_stripHeight > 0))
        return rect();
    const int top = int(std::floor(trackY()));
    const int bottom = int(std::ceil(trackY() + m_stripHeight));
    return QRect(0, top, width(), bottom - top + 1) & rect();
}

void MarqueeNSView::updateFrameTimer()
{
    const bool want =
        m_motion.isRunning() && isVisible() && m_exposure->isExposed() && m_stripWidth > 0 && !m_dismantled;
    const bool running = m_frames->state() == QAbstractAnimation::Running;
    if (want && !running)
        m_frames->start();
    else if (!want && running)
        m_frames->stop();
}

void MarqueeNSView::scrub(double delta)
{
    if (m_motion.isRunning() || !std::isfinite(delta))
        return;
    m_motion.setModelTx(m_motion.wrap(m_motion.modelTx() + delta));
    repaintAll();
}

void MarqueeNSView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressPos = event->position();
    m_lastDragPos = event->position();
    m_dragged = false;
    m_pressedCell = cellAt(event->position());
}

void MarqueeNSView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_hovering && rect().contains(event->position().toPoint()))
        pointerEntered();
    if (m_pressPos && (event->buttons() & Qt::LeftButton)) {
        const double dx = event->position().x() - m_lastDragPos.x();
        m_lastDragPos = event->position();
        if ((event->position() - *m_pressPos).manhattanLength() >= QApplication::startDragDistance())
            m_dragged = true;
        scrub(dx);  // ignored while the row runs
    }
    setHoveredCell(cellAt(event->position()));
}

void MarqueeNSView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressPos) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool click = !m_dragged;
    const int pressed = m_pressedCell;
    m_pressPos.reset();
    m_pressedCell = -1;
    if (click && pressed >= 0 && cellAt(event->position()) == pressed) {
        if (MarqueeCell* c = cell(pressed))
            c->click();
    }
}

void MarqueeNSView::wheelEvent(QWheelEvent* event)
{
    if (m_motion.isRunning()) {
        QWidget::wheelEvent(event);
        return;
    }
    // Touchpads report pixels; a wheel notch (120 units) scrolls 40 points.
    const QPointF d = !event->pixelDelta().isNull() ? QPointF(event->pixelDelta())
                                                    : QPointF(event->angleDelta()) / 3.0;
    const double delta = std::abs(d.y()) < std::abs(d.x()) ? d.x() : d.y();
    scrub(delta);
    event->accept();
}

void MarqueeNSView::contextMenuEvent(QContextMenuEvent* event)
{
    auto menu = contextMenuAt(event->pos());
    if (!menu || menu->isEmpty()) {
        // Between cells, or on a cell with no entries of its own (a quote, a
        // headline without a link): the strip around the row offers its menu.
        event->ignore();
        return;
    }
    // The row may be deleted while its menu shows (the stacked strip turned
    // off); the menu goes with it.
    PopupMenu::show(std::move(menu), event->globalPos());
}

std::unique_ptr<QMenu> MarqueeNSView::contextMenuAt(const QPoint& pos)
{
    MarqueeCell* c = cell(cellAt(pos));
    if (!c)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    c->fillContextMenu(*menu);
    return menu;
}

void MarqueeNSView::setHoveredCell(int index)
{
    if (index == m_hoveredCell)
        return;
    m_hoveredCell = index;
    repaintAll();
}

double MarqueeNSView::trackY() const
{
    return std::round((height() - m_stripHeight) * 0.5);
}

double MarqueeNSView::copyOffset(int copy) const
{
    if (copy == 0)
        return 0;
    return m_reversed ? -(m_stripWidth + gap) : m_stripWidth + gap;
}

QRectF MarqueeNSView::cellRect(int copy, int index) const
{
    if (index < 0 || index >= m_cellRects.size())
        return {};
    return m_cellRects[index].translated(phase() + copyOffset(copy), trackY());
}

QList<PaintedRow> MarqueeNSView::accessibleRows() const
{
    QList<PaintedRow> rows;
    const QRectF view(rect());
    for (int i = 0; i < cellCount(); ++i) {
        const MarqueeCell* c = cell(i);
        if (!c)
            continue;
        const QRectF first = cellRect(0, i), second = cellRect(1, i);
        const auto shown = [&](const QRectF& r) { return r.intersected(view).width(); };
        const QPointF at = (shown(second) > shown(first) ? second : first).topLeft();
        PaintedRow row = c->accessibleRow();
        row.rect.translate(at);
        for (PaintedPart& part : row.parts)
            part.rect.translate(at);
        rows.append(row);
    }
    return rows;
}

int MarqueeNSView::cellAt(const QPointF& pos) const
{
    if (m_cellRects.isEmpty() || !(m_stripHeight > 0))
        return -1;
    const double p = phase();
    const double y = pos.y() - trackY();
    for (int copy = 0; copy < 2; ++copy) {
        const double x = pos.x() - p - copyOffset(copy);
        auto after = std::upper_bound(m_cellRects.cbegin(), m_cellRects.cend(), x,
                                      [](double v, const QRectF& r) { return v < r.left(); });
        if (after == m_cellRects.cbegin())
            continue;
        const QRectF& r = *(after - 1);
        if (x < r.right() && y >= r.top() && y < r.bottom())
            return int(after - 1 - m_cellRects.cbegin());
    }
    return -1;
}

const QPixmap& MarqueeNSView::renderedCell(int index, bool hovered, qreal dpr)
{
    const MarqueeCell& c = *m_cells[size_t(index)];
    // Read for the ratio the cell is painted at now, which is not always the
    // one it was last read for (a grab, a move to another screen).
    std::optional<Look>& known = m_looks[size_t(index)];
    if (!known || known->dpr != dpr)
        known = Look{c.appearance(dpr), dpr};
    const quint64 look = known->value;
    if (dpr != m_budgetDpr)
        updatePixmapBudget(dpr);
    const CellPixmapCache::Key key{index, hovered};
    if (const QPixmap* cached = m_pixmaps.find(key, look, dpr))
        return *cached;
    const QSizeF logical = m_cellRects[index].size();
    QPixmap pixmap(std::max(1, int(std::ceil(logical.width() * dpr))),
                   std::max(1, int(std::ceil(logical.height() * dpr))));
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        c.paint(p, QRectF(QPointF(0, 0), logical), hovered);
    }
    m_pixmaps.insert(key, std::move(pixmap), look, dpr);
    return *m_pixmaps.find(key, look, dpr);
}

void MarqueeNSView::paintEvent(QPaintEvent* event)
{
    if (m_resyncOffset || m_shownOffset == std::numeric_limits<qint64>::min()) {
        m_shownOffset = deviceOffset();
        m_resyncOffset = false;
    }
    QPainter painter(this);
    if (m_background.alpha() == 255) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : event->region())
            painter.fillRect(r, m_background);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    paintStrip(painter, double(m_shownOffset) / devicePixelRatioF(), event->region());
}

void MarqueeNSView::paintStrip(QPainter& painter)
{
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : devicePixelRatioF();
    // Whole device pixels: a fractional offset would blur every picture.
    paintStrip(painter, std::round(phase() * dpr) / dpr, QRegion(rect()));
}

void MarqueeNSView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updatePixmapBudget(devicePixelRatioF());
}

qint64 MarqueeNSView::pixmapBudget(double viewWidth, double widestCell, double rowHeight, qreal dpr)
{
    const double width = 2 * std::max(0.0, viewWidth) + 2 * std::max(0.0, widestCell);
    return qint64(std::ceil(width * dpr)) * qint64(std::ceil(std::max(0.0, rowHeight) * dpr)) * 4;
}

void MarqueeNSView::updatePixmapBudget(qreal dpr)
{
    m_budgetDpr = dpr;
    m_pixmaps.setMaxBytes(pixmapBudget(width(), m_widestCell, m_stripHeight, dpr));
}

void MarqueeNSView::paintStrip(QPainter& painter, double x0, const QRegion& area)
{
    if (!(m_stripWidth > 0) || !(m_stripHeight > 0) || m_cellRects.isEmpty())
        return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : devicePixelRatioF();
    const double y0 = trackY();
    const double w = width();
    for (int copy = 0; copy < 2; ++copy) {
        const double origin = x0 + copyOffset(copy);
        auto first = std::upper_bound(m_cellRects.cbegin(), m_cellRects.cend(), -origin,
                                      [](double v, const QRectF& r) { return v < r.right(); });
        for (auto it = first; it != m_cellRects.cend(); ++it) {
            const double left = origin + it->left();
            if (left >= w)
                break;
            const double top = std::round((y0 + it->top()) * dpr) / dpr;
            // Only cells the paint reaches: a frame paints an edge and the
            // columns under the overlays, not every cell on screen.
            const QRectF shown(left, top, it->width(), it->height());
            if (!area.intersects(shown.toAlignedRect()))
                continue;
            const int index = int(it - m_cellRects.cbegin());
            const QPixmap& picture = renderedCell(index, index == m_hoveredCell, dpr);
            painter.drawPixmap(QPointF(left, top), picture);
        }
    }
}
