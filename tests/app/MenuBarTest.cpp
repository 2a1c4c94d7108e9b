// The tray item's picture, headless. Its menu, as a desktop tray reads and
// drives it over dbusmenu, is checked in tray/TrayBusTest.cpp.
#include "app/MenuBarController.h"
#include "app/MenuBarMark.h"
#include "platform/Defaults.h"
#include "store/FeedStore.h"

#include "FakeTime.h"
#include "LogCapture.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QPalette>
#include <gtest/gtest.h>

namespace {

// Opacity of the picture at logical point `p` (sampled at its device pixel).
int alphaAt(const QImage& image, QPointF p)
{
    const qreal ratio = image.devicePixelRatio();
    return qAlpha(image.pixel(int(p.x() * ratio), int(p.y() * ratio)));
}

TEST(MenuBarMark, At16PixelsTheArcDotAndBarSitWhereTheMarkPutsThem)
{
    const MenuBarMark::Geometry g = MenuBarMark::geometry(QSizeF(16, 16));
    EXPECT_NEAR(g.arcCentre.x(), 8, 1e-9);
    EXPECT_NEAR(g.arcCentre.y(), 8.8, 1e-9);
    EXPECT_NEAR(g.arcRadius, 5.44, 1e-9);
    EXPECT_NEAR(g.lineWidth, 1.6, 1e-9);
    EXPECT_NEAR(g.dot.width(), 4.16, 1e-9);
    EXPECT_NEAR(g.dot.center().x(), 8, 1e-9);
    EXPECT_NEAR(g.dot.center().y(), 8.8, 1e-9);
    EXPECT_NEAR(g.bar.width(), 14.72, 1e-9);
    EXPECT_NEAR(g.bar.height(), 2.08, 1e-9);
    EXPECT_NEAR(g.bar.center().x(), 8, 1e-9);
    EXPECT_NEAR(g.bar.center().y(), 13.76, 1e-9);
    // The thinnest line is still visible on the smallest trays.
    EXPECT_NEAR(MenuBarMark::geometry(QSizeF(8, 8)).lineWidth, 1.2, 1e-9);

    // Drawn finely enough to tell the parts apart: the arc passes over the
    // top of the dot and leaves its lower sides open.
    const QImage image = MenuBarMark::render(16, 8.0, Qt::red);
    ASSERT_FALSE(image.isNull());
    struct Spot {
        QPointF at;
        bool painted;
        const char* what;
    };
    for (const Spot& s : {Spot{{8, 3.36}, true, "arc top"}, Spot{{3.1, 6.5}, true, "arc's left end"},
                          Spot{{12.9, 6.5}, true, "arc's right end"}, Spot{{2.56, 8.8}, false, "left of the dot"},
                          Spot{{13.44, 8.8}, false, "right of the dot"}, Spot{{8, 5.4}, false, "under the arc"},
                          Spot{{8, 8.8}, true, "dot"}, Spot{{8, 11.5}, false, "between dot and bar"},
                          Spot{{1.0, 13.76}, true, "bar's left end"}, Spot{{15.0, 13.76}, true, "bar's right end"},
                          Spot{{0.3, 13.76}, false, "left of the bar"}, Spot{{8, 15.5}, false, "under the bar"}}) {
        EXPECT_EQ(alphaAt(image, s.at) > 128, s.painted) << s.what;
    }
    EXPECT_EQ(image.pixelColor(8 * 8, int(8.8 * 8)), QColor(Qt::red)) << "drawn in the colour asked for";
}

TEST(MenuBarMark, TrayPictureFollowsThePaletteAndFallsBackWhenTheMarkCannotBeDrawn)
{
    {
        LogCapture log;
        const QIcon fallback = MenuBarController::statusImage(Qt::black, [](int, qreal, const QColor&) { return QImage(); });
        EXPECT_FALSE(fallback.isNull());
        EXPECT_FALSE(fallback.pixmap(16).isNull());
        ASSERT_EQ(LogCapture::lines().size(), 1);
        EXPECT_EQ(LogCapture::lines().first().type, QtCriticalMsg);
        EXPECT_EQ(LogCapture::lines().first().category, "tidewire.client.menubar");
        EXPECT_EQ(LogCapture::lines().first().message, "menu bar mark failed to render — falling back to a symbol");
    }

    auto defaults = Defaults::inMemory();
    FakeTime time;
    FeedStore store({*defaults, time, time, nullptr, nullptr, {}, QUrl("http://127.0.0.1:9/"), std::nullopt, {}, {}});
    MenuBarController controller;
    controller.install(store);
    auto dotColour = [&] {
        return controller.statusItem()->icon().pixmap(16).toImage().pixelColor(8, 9);
    };
    const QPalette original = QApplication::palette();
    EXPECT_EQ(dotColour(), original.color(QPalette::WindowText));
    QPalette changed = original;
    changed.setColor(QPalette::WindowText, QColor(200, 30, 40));
    QApplication::setPalette(changed);
    EXPECT_EQ(dotColour(), QColor(200, 30, 40)) << "drawn again for the new palette";
    QApplication::setPalette(original);
}

} // namespace
