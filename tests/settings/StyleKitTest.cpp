#include "api/Color.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SignalSwitchStyle.h"

#include <QCheckBox>
#include <QLineF>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct KnobCase {
    qreal width;
    qreal height;
    bool on;
    QRectF knob;
};

TEST(SignalSwitchStyle, KnobSitsTwoPixelsInsideTheCapsuleEnd)
{
    const QList<KnobCase> cases = {
        {36, 18, true, {20, 2, 14, 14}},
        {36, 18, false, {2, 2, 14, 14}},
        {50, 24, true, {28, 2, 20, 20}},
        {50, 24, false, {2, 2, 20, 20}},
    };
    for (const KnobCase& c : cases) {
        SCOPED_TRACE(QString("%1x%2 %3").arg(c.width).arg(c.height).arg(c.on).toStdString());
        SignalSwitchStyle style(Qt::blue, Qt::gray, Qt::white, c.width, c.height);
        const QRectF track = style.trackRect(QRect(0, 0, int(c.width), int(c.height)));
        EXPECT_EQ(track, QRectF(0, 0, c.width, c.height));
        EXPECT_EQ(style.knobRect(track, c.on), c.knob);
    }
}

TEST(SignalSwitchStyle, SettingsSwitchDrawsAndToggles)
{
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::black);
    host.setPalette(palette);
    auto* box = new QCheckBox(QStringLiteral("A label that is never drawn"), &host);
    SignalSwitchStyle::settings()->apply(box);
    EXPECT_EQ(box->size(), QSize(36, 18));
    EXPECT_EQ(box->sizeHint(), QSize(36, 18));

    box->setChecked(true);
    QImage on = host.grab(QRect(0, 0, 36, 18)).toImage();
    EXPECT_EQ(on.pixelColor(27, 9), QColor(Qt::white)) << "knob at the trailing end";
    EXPECT_EQ(on.pixelColor(8, 9).rgb(), Color::accentBlue().rgb()) << "on colour";

    box->setChecked(false);
    QImage off = host.grab(QRect(0, 0, 36, 18)).toImage();
    EXPECT_EQ(off.pixelColor(9, 9), QColor(Qt::white)) << "knob at the leading end";
    const QColor track = off.pixelColor(28, 9);
    EXPECT_NEAR(track.red(), 38, 2) << "white at 15 % over black";
    EXPECT_EQ(track.red(), track.blue());

    // A click anywhere on the switch flips it, the knob included.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(30, 9));
    EXPECT_TRUE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(box->isChecked());
}

TEST(ConfigSection, RowsSitFlushInsideAHairlineFrame)
{
    ConfigSection section(QStringLiteral("TICKER"));
    auto* first = new ConfigRow(QStringLiteral("Position"), new QLabel(QStringLiteral("Top")));
    auto* second = new ConfigRow(QStringLiteral("Size"), nullptr);
    section.addRow(first);
    section.addRow(second);
    section.resize(500, 200);
    section.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(section.titleLabel()->font().pixelSize(), 10);
    EXPECT_TRUE(section.titleLabel()->font().bold());
    EXPECT_EQ(section.titleLabel()->palette().color(QPalette::WindowText), Color::accentBlue());
    EXPECT_EQ(section.panel()->y() - (section.titleLabel()->y() + section.titleLabel()->height()), 6);
    EXPECT_EQ(first->pos(), QPoint(1, 1));
    EXPECT_EQ(second->y(), first->y() + first->height());
    EXPECT_EQ(first->width(), section.panel()->width() - 2);
}

TEST(ConfigSection, CornersAreClippedWithSoftEdgesOverWhatLiesBehind)
{
    const QColor behind(200, 30, 30);
    QWidget window;
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, behind);
    window.setPalette(palette);
    auto* section = new ConfigSection(QStringLiteral("TICKER"), &window);
    section->addRow(new ConfigRow(QStringLiteral("Position"), new QLabel(QStringLiteral("Top"))));
    section->setGeometry(10, 10, 400, 160);
    window.resize(420, 180);
    window.show();
    QCoreApplication::processEvents();

    const QImage image = window.grab().toImage();
    QWidget* panel = section->panel();
    const QPoint origin = panel->mapTo(&window, QPoint(0, 0));
    // Pixels whose centres lie within half a pixel of each corner's arc are
    // only partly covered: neither the colour behind nor a row's or the
    // frame's own colour, but a blend.
    const qreal r = 6;
    const QList<QRgb> solid = {behind.rgb(), Color::rowBackground().rgb(), image.pixel(origin + QPoint(60, 0))};
    for (const QPoint& from : {QPoint(0, 0), QPoint(panel->width() - 6, panel->height() - 6)}) {
        SCOPED_TRACE(from.x());
        const QPointF centre = from.x() == 0 ? QPointF(r, r) : QPointF(from) + QPointF(6 - r, 6 - r);
        int blended = 0;
        for (int y = from.y(); y < from.y() + 6; ++y) {
            for (int x = from.x(); x < from.x() + 6; ++x) {
                const qreal d = QLineF(QPointF(x + 0.5, y + 0.5), centre).length();
                if (d < r - 0.4 || d > r + 0.4)
                    continue;
                const QRgb pixel = image.pixel(origin + QPoint(x, y));
                EXPECT_FALSE(solid.contains(pixel)) << x << "," << y;
                ++blended;
            }
        }
        EXPECT_GE(blended, 3);
    }
    EXPECT_EQ(image.pixel(origin), behind.rgb()) << "the very corner shows what is behind";
    EXPECT_EQ(image.pixel(origin + QPoint(60, 30)), Color::rowBackground().rgb()) << "rows inside are untouched";
}

TEST(ConfigRow, LabelColumnThenContentOnTheRowBackground)
{
    auto* content = new QLabel(QStringLiteral("value"));
    ConfigRow row(QStringLiteral("Speed"), content);
    row.resize(600, 40);
    row.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(row.label()->width(), 200);
    EXPECT_EQ(row.label()->x(), 14);
    EXPECT_EQ(content->x(), 14 + 200);
    EXPECT_EQ(row.label()->font().pixelSize(), 13);
    EXPECT_EQ(row.label()->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(row.grab().toImage().pixelColor(590, 2).rgb(), Color::rowBackground().rgb());
    EXPECT_EQ(row.sizeHint().height(),
              std::max(row.label()->sizeHint().height(), content->sizeHint().height()) + 16);
}

} // namespace
