#include "PaintedText.h"

#include <QApplication>
#include <QFont>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTextLayout>
#include <QWidget>
#include <algorithm>

namespace {

// Records the text items it is given and draws nothing else.
class RecordingEngine final : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState& state) override
    {
        if (state.state() & QPaintEngine::DirtyTransform)
            m_transform = state.transform();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawRects(const QRectF*, int) override {}
    void drawRects(const QRect*, int) override {}
    void drawLines(const QLineF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawEllipse(const QRect&) override {}
    void drawPoints(const QPointF*, int) override {}
    void drawPoints(const QPoint*, int) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        runs.append({m_transform.map(p), item.width(), item.text(),
                     item.renderFlags().testFlag(QTextItem::RightToLeft)});
    }

    QList<PaintedText::Run> runs;

private:
    QTransform m_transform;
};

class RecordingDevice final : public QPaintDevice {
public:
    explicit RecordingDevice(QSize size) : m_size(size) {}
    ~RecordingDevice() override = default;
    QPaintEngine* paintEngine() const override { return &m_engine; }
    RecordingEngine& engine() { return m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmWidthMM: return m_size.width() * 254 / 960;
        case PdmHeightMM: return m_size.height() * 254 / 960;
        case PdmNumColors: return 0x7fffffff;
        case PdmDepth: return 32;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 96;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    QSize m_size;
    mutable RecordingEngine m_engine;
};

bool invisible(char32_t c)
{
    return QChar::category(c) == QChar::Other_Format;
}

} // namespace

namespace PaintedText {

QList<Run> record(QSize size, const std::function<void(QPainter&)>& paint)
{
    RecordingDevice device(size);
    {
        QPainter painter(&device);
        paint(painter);
    }
    return device.engine().runs;
}

QList<Run> record(QWidget& widget)
{
    RecordingDevice device(widget.size());
    widget.render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
    return device.engine().runs;
}

QString leftToRight(const QList<Run>& runs, const QRectF& area)
{
    QList<Run> shown;
    for (const Run& run : runs) {
        if (run.origin.y() >= area.top() && run.origin.y() <= area.bottom() && run.origin.x() < area.right()
            && run.origin.x() + run.width > area.left())
            shown.append(run);
    }
    std::stable_sort(shown.begin(), shown.end(),
                     [](const Run& a, const Run& b) { return a.origin.x() < b.origin.x(); });
    QString line;
    for (const Run& run : shown) {
        QList<uint> characters = run.text.toUcs4();
        if (run.rightToLeft)
            std::reverse(characters.begin(), characters.end());
        for (const uint c : characters)
            if (!invisible(c))
                line.append(QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1));
    }
    return line;
}

QList<QList<Run>> lines(const QList<Run>& runs)
{
    QList<Run> sorted = runs;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Run& a, const Run& b) { return a.origin.y() < b.origin.y(); });
    QList<QList<Run>> lines;
    for (const Run& run : sorted) {
        if (lines.isEmpty() || run.origin.y() - lines.last().first().origin.y() > 0.5)
            lines.append(QList<Run>());
        lines.last().append(run);
    }
    return lines;
}

QString readDown(const QList<Run>& runs)
{
    QString read;
    for (const QList<Run>& line : lines(runs))
        read += leftToRight(line, QRectF(-1e7, -1e7, 2e7, 2e7));
    read.removeIf([](QChar c) { return c.isSpace(); });
    return read;
}

QString leftToRight(const QString& text, Qt::LayoutDirection direction)
{
    QFont font = QApplication::font();
    font.setPixelSize(12);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setTextDirection(direction == Qt::LayoutDirectionAuto
                                ? (text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight)
                                : direction);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    const QList<Run> runs = record(QSize(1, 1), [&](QPainter& painter) { line.draw(&painter, QPointF(0, 0)); });
    return leftToRight(runs, QRectF(-1e7, -1e7, 2e7, 2e7));
}

} // namespace PaintedText
