// The helpers every sink of outside text goes through, each with the texts
// that would otherwise be read as markup, a shortcut or a title placeholder.
#include "ShownText.h"
#include "WideWords.h"
#include "widgets/PlainText.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <gtest/gtest.h>

void PrintTo(const QString& value, std::ostream* out)
{
    *out << value.toStdString();
}

namespace {

TEST(PlainText, EverySinkShowsHostileTextsAsWrittenAndReadsNoFile)
{
    ReadWatch watch;
    QWidget window;
    window.resize(300, 100);
    window.show();
    for (const QString& text : watch.hostileTexts() + QStringList{QStringLiteral("Line one\n  <i>two</i>")}) {
        SCOPED_TRACE(text.toStdString());
        PlainText::setToolTip(&window, text);
        EXPECT_EQ(ShownText::toolTip(&window), text);

        QAction action(PlainText::actionText(text));
        EXPECT_EQ(ShownText::action(&action), text);

        QWidget titled;
        titled.setWindowTitle(PlainText::windowTitle(text));
        EXPECT_EQ(ShownText::windowTitle(&titled), text);

        QLabel* label = PlainText::label(text, &window);
        label->grab();
        EXPECT_EQ(ShownText::label(label), text);
        delete label;

        QMessageBox box;
        PlainText::setMessage(box, text, QStringLiteral("Because ") + text);
        box.show();
        const auto* main = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        const auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        ASSERT_TRUE(main && informative);
        EXPECT_EQ(ShownText::label(main), text);
        EXPECT_EQ(ShownText::label(informative), QStringLiteral("Because ") + text);
    }
    EXPECT_FALSE(watch.wasRead());
}

// A tool tip holding a word wider than the screen wraps inside the word and
// stays on the screen, whether or not the tip could be taken for markup; what
// it shows differs from the text only by invisible break opportunities.
TEST(PlainText, AToolTipWithAWordWiderThanTheScreenStaysOnTheScreen)
{
    QWidget window;
    window.resize(300, 100);
    window.show();
    const QString word = QStringLiteral("x").repeated(1000);
    const QString cases[] = {
        word,
        QStringLiteral("Open ") + WideWords::compound() + u' ' + WideWords::address(1000),
        QStringLiteral("<b>") + word + QStringLiteral("</b>"),
        WideWords::hebrew().repeated(6),
        WideWords::arabic().repeated(6),
    };
    for (const QString& text : cases) {
        SCOPED_TRACE(text.left(24).toStdString());
        PlainText::setToolTip(&window, text);
        QRect tip;
        QString shown = ShownText::toolTip(&window, std::nullopt, &tip);
        EXPECT_EQ(shown.remove(QChar(0x200B)), text);
        const QRect screen = window.screen()->geometry();
        EXPECT_TRUE(screen.contains(tip)) << tip.x() << "," << tip.y() << " " << tip.width() << "x" << tip.height()
                                          << " on " << screen.width() << "x" << screen.height();
    }
}

// A menu shows what follows a tab as a shortcut, on the right: outside text
// keeps its words together on the entry, the tab shown as a space.
TEST(PlainText, TabsInActionTextsShowAsSpacesAndMakeNoShortcut)
{
    const struct { QString text, shown; } cases[] = {
        {QStringLiteral("Daily\tNews"), QStringLiteral("Daily News")},
        {QStringLiteral("\tCtrl+Q"), QStringLiteral(" Ctrl+Q")},
        {QStringLiteral("A&B\t\t&C"), QStringLiteral("A&B  &C")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QAction action(PlainText::actionText(c.text));
        EXPECT_EQ(ShownText::action(&action), c.shown);
    }
}

// Texts Qt would show as written stay as they are: what tests and
// accessibility read of them does not change.
TEST(PlainText, TextsWithoutMarkupOrMarkersAreLeftAsTheyAre)
{
    for (const QString& text : {QStringLiteral("Remove Daily News"), QStringLiteral("Fetched 5 min. ago"),
                                QStringLiteral("3 < 4 > 2"), QString()}) {
        EXPECT_EQ(PlainText::toolTip(text), text);
        EXPECT_EQ(PlainText::actionText(text), text);
        EXPECT_EQ(PlainText::windowTitle(text), text);
    }
    QMessageBox box;
    PlainText::setMessage(box, QStringLiteral("Asked"), QStringLiteral("Why"));
    PlainText::setMessage(box, QStringLiteral("Asked again"));
    EXPECT_EQ(box.informativeText(), QString()) << "no informative text left over";
    EXPECT_EQ(box.text(), QStringLiteral("Asked again"));
}

} // namespace
