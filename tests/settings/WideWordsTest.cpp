// Feed titles, hosts, categories and answers holding a word wider than the
// settings can show: the lists keep to their width (nothing scrolls
// sideways), each title shows where it begins in its own direction, and the
// add-feed sheet breaks the word inside its fixed width.
#include "SettingsHarness.h"

#include "LoopbackServer.h"
#include "PaintedText.h"
#include "WideWords.h"
#include "widgets/ParagraphLabel.h"
#include "settings/AddPersonalFeedSheet.h"
#include "settings/CatalogueFeedList.h"
#include "settings/ConfigRow.h"
#include "settings/CatalogueFeedRow.h"
#include "settings/PersonalFeedRow.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/RSSTab.h"
#include "settings/SourcesTab.h"
#include "settings/WatchlistEditor.h"

#include <QFontMetricsF>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

const QSize kScreen(1920, 1080);

struct TitleCase {
    const char* name;
    QString title;
    QString start;  // empty for a joining script (see WideWords)
    Qt::LayoutDirection direction;
};

QList<TitleCase> titleCases()
{
    return {
        {"compound word", WideWords::compound(), QStringLiteral("Don"), Qt::LeftToRight},
        {"address as the title", WideWords::address(), QStringLiteral("htt"), Qt::LeftToRight},
        {"hebrew word", WideWords::hebrew(), WideWords::hebrew().left(3), Qt::RightToLeft},
        {"arabic word", WideWords::arabic(), {}, Qt::RightToLeft},
    };
}

// A host of more than 200 characters, as a feed's address may have.
QString longHost()
{
    QStringList labels;
    for (int i = 0; i < 14; ++i)
        labels << QStringLiteral("segment%1name").arg(i, 2, 10, QLatin1Char('0'));
    return labels.join(QLatin1Char('.')) + QStringLiteral(".example");
}

QRect within(const QWidget* widget, const QWidget* ancestor)
{
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

QJsonObject catalogueFeed(const QString& id, const QString& title, const QString& category, const QString& url)
{
    return {{QStringLiteral("feed_id"), id},
            {QStringLiteral("title"), title},
            {QStringLiteral("url"), url},
            {QStringLiteral("is_active"), true},
            {QStringLiteral("source_type"), QStringLiteral("rss")},
            {QStringLiteral("category"), QJsonObject{{QStringLiteral("name"), category}}}};
}

QByteArray rss(const QString& title)
{
    return QStringLiteral("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>%1</title>"
                          "<item><title>Story</title><link>https://site.example/1</link></item></channel></rss>")
        .arg(title)
        .toUtf8();
}

// A phrase, symbol or set name too long for a settings row's label column
// ends in an ellipsis, its beginning where its direction starts it.
TEST(WideWords, ARowLabelTooLongForItsColumnEndsInAnEllipsis)
{
    for (const TitleCase& c : titleCases()) {
        if (c.start.isEmpty())
            continue;  // the pixels of a joining script cut alone differ
        SCOPED_TRACE(c.name);
        ConfigRow row(c.title, nullptr);
        row.resize(600, 40);
        row.show();
        QLabel* label = row.label();
        ASSERT_LE(label->width(), 200);
        // The label chooses where to cut at the grapheme that still fits; the
        // line it shows is a start of the title, narrower than the label.
        auto* paragraph = qobject_cast<ParagraphLabel*>(label);
        ASSERT_TRUE(paragraph);
        ASSERT_EQ(paragraph->shownLines().size(), 1);
        const QString elided = paragraph->shownLines().first();
        ASSERT_TRUE(elided.endsWith(QChar(0x2026)));
        EXPECT_TRUE(c.title.startsWith(elided.chopped(1)));
        EXPECT_LE(QFontMetricsF(label->font()).horizontalAdvance(elided), label->contentsRect().width());
        EXPECT_TRUE(WideWords::showsLine(label, elided, (c.direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) |
                                                            Qt::AlignVCenter));
        EXPECT_EQ(label->text(), c.title);
    }
}

using WideWatchlist = SettingsTest;

// The name a provider gives a symbol, too long for its column, ends in an
// ellipsis there.
TEST_F(WideWatchlist, ASymbolsNameTooLongForItsColumnEndsInAnEllipsis)
{
    const QString name = WideWords::compound();
    markets().setWatchlist({WatchSymbol{QStringLiteral("LONG"), WatchSymbol::Kind::Stock, name, std::nullopt,
                                        std::nullopt, std::nullopt}});
    WatchlistEditor editor(markets());
    editor.resize(900, 600);
    editor.show();
    QLabel* shown = nullptr;
    for (QLabel* label : editor.findChildren<QLabel*>())
        if (label->text() == name)
            shown = label;
    ASSERT_NE(shown, nullptr);
    const QString elided = QFontMetricsF(shown->font()).elidedText(name, Qt::ElideRight, shown->width());
    EXPECT_TRUE(WideWords::showsLine(shown, elided, Qt::AlignLeft | Qt::AlignVCenter));
}

// Stands in for the server API; made before the settings' stores and gone
// after them, so no connection of theirs is left for it to wait on.
struct CatalogueApi {
    LoopbackServer api;
};

class WideFeedTabs : public CatalogueApi, public SettingsTest {
protected:
    void SetUp() override
    {
        QJsonArray feeds;
        int n = 0;
        for (const TitleCase& c : titleCases())
            feeds.append(catalogueFeed(QStringLiteral("f%1").arg(++n), c.title, QStringLiteral("Category").repeated(12),
                                       QStringLiteral("https://") + longHost() + QStringLiteral("/rss")));
        const QJsonObject manifest{{QStringLiteral("topics"), QJsonArray()}, {QStringLiteral("feed_index"), feeds}};
        api.route(QStringLiteral("/v1_manifest"), LoopbackServer::Response::json(QJsonDocument(manifest).toJson()));
        api.route(QStringLiteral("/v1_items_batch"), LoopbackServer::Response::json(R"({"items":[]})"));
        api.route(QStringLiteral("/v1_orbs"), LoopbackServer::Response::json(R"({"orbs":[]})"));
        api.route(QStringLiteral("/v1_weather"), LoopbackServer::Response::withStatus(404));
        makeStore(api.baseUrl());
        awaitTask(store->refresh());
        ASSERT_EQ(store->feeds().size(), feeds.size());
    }

    // The tab at the settings window's usual size needs no more than the
    // screen, and its list fits its scrolling area's width.
    static void expectFits(QWidget& tab)
    {
        EXPECT_LE(tab.minimumSizeHint().width(), kScreen.width());
        EXPECT_LE(tab.minimumSizeHint().height(), kScreen.height());
        tab.resize(900, 620);
        tab.show();
        for (QScrollArea* scroll : tab.findChildren<QScrollArea*>()) {
            EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width());
            EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << "nothing to scroll to sideways";
        }
    }
};

// Both lists, with both kinds of feed row: nothing scrolls sideways, no text
// of a row reaches past it, and each title shows its beginning at its
// leading edge.
TEST_F(WideFeedTabs, SourcesAndRSSListsWithWideTitlesNeedNoMoreThanTheirWindow)
{
    QList<PersonalFeed> stored;
    for (const TitleCase& c : titleCases()) {
        stored.append(feed(c.title, QStringLiteral("https://") + longHost() + QStringLiteral("/rss")));
        stored.last().lastError = QStringLiteral("The feed could not be read: ") + WideWords::address(300);
    }
    PersonalStore personal(stored);
    {
        SCOPED_TRACE("Sources");
        SourcesTab sources(*store);
        expectFits(sources);
    }
    SCOPED_TRACE("RSS");
    RSSTab rss(*store, nullptr, personal.store.get());
    expectFits(rss);
    QList<std::tuple<QWidget*, QLabel*, QLabel*>> rows;
    for (PersonalFeedRow* row : rss.personalSection()->rows())
        rows.append({row, row->titleLabel(), row->subtitleLabel()});
    for (CatalogueFeedRow* row : rss.list()->rows())
        rows.append({row, row->titleLabel(), row->subtitleLabel()});
    const QList<TitleCase> cases = titleCases();
    ASSERT_EQ(rows.size(), 2 * cases.size());
    for (const auto& [row, title, subtitle] : rows) {
        const auto c = std::find_if(cases.cbegin(), cases.cend(), [&](const TitleCase& t) { return t.title == title->text(); });
        ASSERT_NE(c, cases.cend());
        SCOPED_TRACE(testing::Message() << c->name << " in a " << row->metaObject()->className());
        for (const QLabel* label : {title, subtitle})
            EXPECT_TRUE(row->rect().contains(within(label, row)))
                << label->text().left(16).toStdString() << " is " << label->width() << " px wide";
        if (!c->start.isEmpty()) {
            EXPECT_TRUE(WideWords::showsStartAtLeadingEdge(title, c->start, c->direction));
        }
    }
}

// The sheet keeps its width; the line saying the feed was added breaks the
// title inside the sheet, reads in the sheet's direction and shows its end.
TEST(WideWords, AddFeedSheetBreaksATitleTooWideForItsLine)
{
    LoopbackServer site;
    QList<TitleCase> cases = titleCases();
    for (qsizetype i = 0; i < cases.size(); ++i)
        site.route(QStringLiteral("/%1.rss").arg(i), LoopbackServer::Response::text(rss(cases.at(i).title), "application/rss+xml"));
    for (qsizetype i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases.at(i).name);
        PersonalStore personal;
        AddPersonalFeedSheet sheet(nullptr, personal.store.get());
        sheet.show();
        const int width = sheet.width();
        sheet.addressField()->setText(site.url(QStringLiteral("%1.rss").arg(i)).toString());
        QTest::keyClick(sheet.addressField(), Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return sheet.state().kind == AddPersonalFeedSheet::SubmitState::Kind::Done; }));
        const QString said = QStringLiteral("\u201C") + cases.at(i).title + QStringLiteral("\u201D is on your ticker now, 1 item.");
        ASSERT_EQ(sheet.outcomeLine()->text(), said);

        EXPECT_EQ(sheet.width(), width);
        EXPECT_LE(sheet.height(), kScreen.height());
        auto* line = sheet.outcomeLine()->findChild<QLabel*>();
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(sheet.rect().contains(within(line, &sheet))) << "the line is " << line->width() << " px wide";
        EXPECT_TRUE(WideWords::showsStartAtLeadingEdge(line, QStringLiteral("\u201C"), Qt::LeftToRight));
        EXPECT_TRUE(PaintedText::readDown(PaintedText::record(*line)).endsWith(QStringLiteral("now,1item.")))
            << "every line shows";
    }
}

} // namespace
