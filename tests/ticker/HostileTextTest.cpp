// Topic names, keywords and category names from the server through the
// strip's tool tips and menus: each reads as written, none is taken for
// markup or a shortcut, and no file an <img> names is read.
#include "ShownText.h"
#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "ticker/OrbPhraseLabel.h"
#include "ticker/SignalRotationOrb.h"

#include <QMenu>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(HostileText, OrbToolTipsAndKeywordMenusShowTheServersTextsAsWritten)
{
    ReadWatch watch;
    const QStringList texts = watch.hostileTexts();
    QList<Orb> orbs;
    for (qsizetype i = 0; i < texts.size(); ++i)
        orbs.append(makeOrb(QStringLiteral("t%1").arg(i), texts.at(i), QStringList{texts.at(i)},
                            QList<std::optional<QString>>{QStringLiteral("https://news.example/%1").arg(i)}));
    StripFixture f;
    f.load({}, orbs);
    SignalRotationOrb orb(*f.store, 2, SignalRotationOrb::Services{f.filters, f.rows.opener, f.rows.time});
    orb.resize(orb.sizeHint());
    orb.move(400, 400);
    orb.show();

    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        ASSERT_TRUE(orb.currentOrb());
        ASSERT_EQ(orb.currentOrb()->topicLabel, text);
        EXPECT_EQ(ShownText::toolTip(&orb, orb.dotBox().center().toPoint()), QStringLiteral("Focus ticker on ") + text);
        ASSERT_EQ(orb.phraseLabels().size(), 1);
        OrbPhraseLabel* keyword = orb.phraseLabels().first();
        EXPECT_EQ(ShownText::menuEntries(*keyword->contextMenu()),
                  (QStringList{QStringLiteral("Mute “") + text + QStringLiteral("”"),
                               QStringLiteral("Follow “") + text + QStringLiteral("”")}));
        f.rows.time.advance(10s);
    }
    EXPECT_FALSE(watch.wasRead()) << "a topic was read as markup and its image loaded";
}

TEST(HostileText, StripMenuShowsCategoryNamesAndTheOfferedVersionAsWritten)
{
    ReadWatch watch;
    const QStringList texts = watch.hostileTexts();
    StripFixture f;
    QList<FeedItem> items;
    for (qsizetype i = 0; i < texts.size(); ++i)
        items.append(categorised(QStringLiteral("i%1").arg(i), QStringLiteral("Item"), QStringLiteral("c%1").arg(i),
                                 texts.at(i)));
    f.load(items);
    f.defaults().set(TickerView::secondTickerKey, true);
    std::unique_ptr<TickerView> view = f.makeView();
    const QStringList shown = ShownText::menuEntries(*view->contextMenu());
    for (const QString& text : texts)
        EXPECT_EQ(shown.count(text), 1) << text.toStdString() << " in " << shown.join(u'|').toStdString();
}

} // namespace
