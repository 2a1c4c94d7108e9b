#include "api/Color.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SignalSwitchStyle.h"

#include <QCheckBox>
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
