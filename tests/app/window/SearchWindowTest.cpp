// The search window on a real X server with a window manager: one window at
// a time, its size and place, its keyboard, and what a click on a result does.
#include "../SearchHarness.h"
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/SearchPanel.h"
#include "app/SearchResultsView.h"
#include "app/SearchWindowManager.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QJsonArray stories(int fresh = 0)
{
    QJsonArray items{
        headline(QStringLiteral("web"), QStringLiteral("Story on the web"), 5, QStringLiteral("https://example.com/a")),
        headline(QStringLiteral("ftp"), QStringLiteral("Story on ftp"), 1, QStringLiteral("ftp://example.com/b")),
        headline(QStringLiteral("nohost"), QStringLiteral("Story nowhere"), 0, QStringLiteral("https:///b")),
        headline(QStringLiteral("other"), QStringLiteral("Weather"), 3, QStringLiteral("https://example.com/c")),
    };
    for (int i = 0; i < fresh; ++i)
        items.append(headline(QStringLiteral("fresh%1").arg(i), QStringLiteral("Fresh story %1").arg(i), 10 + i,
                              QStringLiteral("https://example.com/f%1").arg(i)));
    return items;
}

constexpr qint64 motifTitle = 0x8;
constexpr qint64 motifMinimize = 0x20;
constexpr qint64 motifMaximize = 0x40;

// The decorations field of the window's _MOTIF_WM_HINTS (flags, functions,
// decorations, …) as xprop reads it; -1 when it is not set.
qint64 motifDecorations(WId window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QStringLiteral("_MOTIF_WM_HINTS")});
    if (!xprop.waitForFinished(10000))
        return -1;
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
    const QStringList fields = out.section(u'=', 1).split(u',', Qt::SkipEmptyParts);
    bool ok = false;
    const qint64 value = fields.value(2).trimmed().toLongLong(&ok, 0);
    return ok ? value : -1;
}

class SearchWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        ASSERT_TRUE(h.load({catalogueFeed(QStringLiteral("f1"), QStringLiteral("Storyteller Daily"))}, stories()));
    }
    void TearDown() override { manager.close(); }

    // Opens (or raises) the window and waits until it is shown and its field has the keyboard.
    SearchPanel* show()
    {
        manager.show(*h.store);
        SearchPanel* panel = manager.panel();
        EXPECT_TRUE(waitFor([&] { return manager.window()->isActiveWindow() && panel->queryField()->hasFocus(); }));
        return panel;
    }
    void expectCentredEmptyFixed(QWidget* window, SearchPanel* panel)
    {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Tidewire Search"));
        EXPECT_EQ(panel->query(), QString());
        const QRect onServer = X11Probe::geometry(window->winId());
        EXPECT_EQ(onServer.size(), QSize(620, 520));
        // The window manager's frame may push the client down by its title bar.
        const QPoint centre = window->screen()->availableGeometry().center();
        EXPECT_LE(std::abs(window->geometry().center().x() - centre.x()), 2);
        EXPECT_LE(std::abs(window->geometry().center().y() - centre.y()), 40);
        // What the window manager lets the user do with it: move and close, not resize.
        QStringList actions;
        EXPECT_TRUE(waitFor([&] {
            actions = X11Probe::atoms(window->winId(), QStringLiteral("_NET_WM_ALLOWED_ACTIONS"));
            return !actions.isEmpty();
        }));
        EXPECT_TRUE(actions.contains(QStringLiteral("_NET_WM_ACTION_MOVE"))) << actions.join(' ').toStdString();
        EXPECT_TRUE(actions.contains(QStringLiteral("_NET_WM_ACTION_CLOSE")));
        EXPECT_FALSE(actions.contains(QStringLiteral("_NET_WM_ACTION_RESIZE")));
        // Its frame: a title bar without minimise or maximise buttons.
        const qint64 decorations = motifDecorations(window->winId());
        EXPECT_TRUE(decorations & motifTitle) << decorations;
        EXPECT_FALSE(decorations & (motifMinimize | motifMaximize)) << decorations;
        // Normal stacking: not kept above other applications' windows.
        EXPECT_FALSE(X11Probe::atoms(window->winId(), QStringLiteral("_NET_WM_STATE"))
                         .contains(QStringLiteral("_NET_WM_STATE_ABOVE")));
    }

    SearchHarness h;
    SearchWindowManager manager{h.context()};
};

TEST_F(SearchWindow, OneWindowKeepsItsQueryAndAClosedOneComesBackNewCentredAndEmpty)
{
    SearchPanel* panel = show();
    QPointer<QWidget> first = manager.window();
    expectCentredEmptyFixed(first, panel);
    QTest::keyClicks(panel->queryField(), QStringLiteral("st"));
    EXPECT_EQ(panel->body(), SearchPanel::Body::Results);

    // Brought forward, not doubled: the typed text stays and has the keyboard.
    first->move(first->pos() + QPoint(100, 60));
    show();
    EXPECT_EQ(manager.window(), first.data());
    EXPECT_EQ(manager.panel()->query(), QStringLiteral("st"));
    EXPECT_EQ(QApplication::topLevelWidgets().count(first.data()), 1);

    // Escape closes, and nothing of the window stays.
    QTest::keyClick(panel->queryField(), Qt::Key_Escape);
    EXPECT_EQ(manager.window(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    panel = show();
    QPointer<QWidget> second = manager.window();
    expectCentredEmptyFixed(second, panel);

    // Closed the window manager's way (its close button): forgotten too.
    second->close();
    EXPECT_EQ(manager.window(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
}

TEST_F(SearchWindow, ClickOpensOnlyWebLinksMarksThemReadAndFollowsTheStore)
{
    SearchPanel* panel = show();
    QTest::keyClicks(panel->queryField(), QStringLiteral("STORY"));
    SearchResultsView* view = panel->resultsView();
    ASSERT_EQ(view->headlineRowCount(), 3);
    EXPECT_EQ(view->sections().value(1).title, QStringLiteral("FEEDS"));

    // Links that cannot open in a browser: the click does nothing at all.
    for (int row : {1, 2}) {
        QTest::mouseClick(view, Qt::LeftButton, {}, view->headlineRect(row).center());
        EXPECT_NE(manager.window(), nullptr);
        EXPECT_FALSE(h.reads.isRead(view->headlineAt(row).stableId)) << row;
        EXPECT_TRUE(h.opener.opened.isEmpty());
        EXPECT_TRUE(h.opener.refused.isEmpty());
    }

    // New headlines show up under the same query without retyping.
    ASSERT_TRUE(h.load({catalogueFeed(QStringLiteral("f1"), QStringLiteral("Storyteller Daily"))}, stories(2)));
    ASSERT_EQ(view->headlineRowCount(), 5);
    EXPECT_EQ(view->headlineAt(0).stableId, QStringLiteral("fresh1"));
    ASSERT_EQ(view->headlineAt(2).stableId, QStringLiteral("web"));

    QTest::mouseClick(view, Qt::LeftButton, {}, view->headlineRect(2).center());
    EXPECT_TRUE(h.reads.isRead(QStringLiteral("web")));
    EXPECT_EQ(manager.window(), nullptr);
    EXPECT_EQ(h.opener.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/a"))});
}

} // namespace
