// The settings window's own drawing: the mark, the switches and the
// grouped rows, as rendered.
#include "Contrast.h"
#include "api/Color.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SignalSwitchStyle.h"
#include "settings/TidewireMark.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

TEST(TidewireMark, PaintsBarDotAndTranslucentHalo)
{
    QImage image(720, 148, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        TidewireMark::paint(painter, QPointF(0, 0), 148, QColor(233, 235, 239), QColor(74, 125, 255));
    }
    EXPECT_EQ(image.pixelColor(600, 100), QColor(233, 235, 239)) << "bar";
    EXPECT_EQ(image.pixelColor(249, 100), QColor(74, 125, 255)) << "dot";
    const QColor apex = image.pixelColor(251, 4);
    EXPECT_NEAR(apex.alphaF(), 0.6, 0.02) << "halo at 60 % of the signal colour";
    EXPECT_EQ(image.pixelColor(251, 30).alpha(), 0) << "gap between halo and dot";
    EXPECT_EQ(image.pixelColor(100, 20).alpha(), 0) << "above the bar, away from the halo";
}

TEST(TidewireMark, WidgetIsSizedByItsHeightAndHiddenFromAssistiveTechnology)
{
    QWidget window;
    auto* mark = new TidewireMark(14, Qt::white, Qt::blue, &window);
    window.show();
    EXPECT_EQ(mark->size(), QSize(69, 14));
    EXPECT_DOUBLE_EQ(mark->markOpacity(), 1.0);

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(mark);
    ASSERT_TRUE(accessible);
    EXPECT_EQ(accessible->role(), QAccessible::NoRole);
    EXPECT_TRUE(accessible->state().invisible) << "shown on screen, yet not there for a screen reader";
    EXPECT_TRUE(accessible->text(QAccessible::Name).isEmpty());
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

// Once the keyboard moved the focus, the focused switch wears a ring that
// stands out whether it is on or off and whatever lies behind it, and that
// leaves its state readable; a focus the pointer gave puts none on.
TEST(SignalSwitchStyle, KeyboardFocusRingShowsOnAnySwitchAndBackground)
{
    struct Case { const char* name; QColor behind; bool on; };
    const Case cases[] = {
        {"on, over the dark rows", Color::rowBackground(), true}, {"off, over the dark rows", Color::rowBackground(), false},
        {"on, over black", Qt::black, true},                        {"off, over white", Qt::white, false},
        {"on, over light grey", QColor(0xEF, 0xEF, 0xEF), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget host;
        host.setAutoFillBackground(true);
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, c.behind);
        host.setPalette(palette);
        auto* before = new QCheckBox(&host);
        auto* box = new QCheckBox(&host);
        for (QCheckBox* b : {before, box})
            SignalSwitchStyle::settings()->apply(b);
        box->move(0, 30);
        box->setChecked(c.on);
        host.resize(60, 60);
        host.show();
        QApplication::setActiveWindow(&host);
        auto picture = [&] { return host.grab(box->geometry()).toImage(); };
        const QImage plain = picture();

        box->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(box->hasFocus());
        EXPECT_EQ(picture(), plain) << "no ring after a click";

        before->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(before, Qt::Key_Tab);
        ASSERT_TRUE(box->hasFocus());
        const QImage ringed = picture();
        const double outline = 2 * (36 - 18) + M_PI * 18;  // round the 36 × 18 capsule
        EXPECT_GE(Contrast::changedPixels(ringed, plain), outline / 2) << "a line round the capsule stands out 3:1";
        EXPECT_EQ(ringed.pixelColor(c.on ? 27 : 9, 9), QColor(Qt::white)) << "the knob stays where it shows the state";
        EXPECT_EQ(ringed.pixel(c.on ? 8 : 28, 9), plain.pixel(c.on ? 8 : 28, 9)) << "the track's colour stays";
    }
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
    // Each corner's arc only partly covers some pixels: they are neither the
    // colour behind nor a row's or the frame's own colour, but a blend.
    const QList<QRgb> solid = {behind.rgb(), Color::rowBackground().rgb(), image.pixel(origin + QPoint(60, 0))};
    for (const QPoint& from : {QPoint(0, 0), QPoint(panel->width() - 6, panel->height() - 6)}) {
        int blended = 0;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                blended += !solid.contains(image.pixel(origin + from + QPoint(x, y)));
        EXPECT_GE(blended, 3) << from.x();
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
    EXPECT_EQ(row.grab().toImage().pixelColor(590, 2).rgb(), Color::rowBackground().rgb());
    EXPECT_EQ(row.sizeHint().height(),
              std::max(row.label()->sizeHint().height(), content->sizeHint().height()) + 16);
}

} // namespace
