// Titles and error texts from feeds through every place the settings show
// them: each reads as written, none is taken for markup or a shortcut, and
// no file an <img> names is read.
#include "SettingsHarness.h"

#include "ShownText.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/PersonalFeedRow.h"
#include "settings/PersonalFeedsSection.h"

#include <QLabel>
#include <QMessageBox>
#include <QToolButton>

void PrintTo(const QString& value, std::ostream* out)
{
    *out << value.toStdString();
}

namespace {

QString messageText(QMessageBox* box, const char* name)
{
    const auto* label = box->findChild<QLabel*>(QLatin1String(name));
    return label ? ShownText::label(label) : QStringLiteral("<no label>");
}

TEST(HostileText, PersonalFeedRowsAndTheirRemovalShowTheFeedsTextsAsWritten)
{
    ReadWatch watch;
    const QStringList texts = watch.hostileTexts();
    QList<PersonalFeed> stored;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        PersonalFeed f = feed(texts.at(i), QStringLiteral("https://feed%1.example/rss").arg(i));
        f.lastError = QStringLiteral("The feed could not be read: ") + texts.at(i);
        stored.append(f);
    }
    PersonalStore personal(stored);
    QWidget window;
    auto* section = new PersonalFeedsSection(&window, personal.store.get(), &personal.time);
    window.resize(640, 900);
    window.show();
    ASSERT_EQ(section->rows().size(), texts.size());

    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString& text = texts.at(i);
        SCOPED_TRACE(text.toStdString());
        PersonalFeedRow* row = section->rows().at(i);
        const QString error = QStringLiteral("The feed could not be read: ") + text;
        EXPECT_EQ(ShownText::label(row->titleLabel()), text);
        EXPECT_EQ(ShownText::label(row->subtitleLabel()), error);
        EXPECT_EQ(ShownText::toolTip(row->removeButton()), QStringLiteral("Remove ") + text);
        EXPECT_EQ(ShownText::toolTip(row->statusDot()), error);

        QTest::mouseClick(row->removeButton(), Qt::LeftButton);
        QMessageBox* question = section->removalConfirmation();
        ASSERT_NE(question, nullptr);
        const QString asked = QStringLiteral("Remove \u201C") + text + QStringLiteral("\u201D?");
        EXPECT_EQ(messageText(question, "qt_msgbox_label"), asked);
        EXPECT_EQ(ShownText::windowTitle(question), asked);
        QTest::keyClick(question, Qt::Key_Escape);
        EXPECT_EQ(personal.store->feeds().size(), texts.size());
    }
    EXPECT_FALSE(watch.wasRead()) << "a title was read as markup and its image loaded";
}

// The rows and section headers that show phrases, symbols and set names.
TEST(HostileText, SettingsRowAndSectionLabelsShowTheirTextsAsWritten)
{
    ReadWatch watch;
    QWidget window;
    QList<std::pair<QLabel*, QString>> labels;
    for (const QString& text : watch.hostileTexts()) {
        labels.append({(new ConfigRow(text, nullptr, &window))->label(), text});
        labels.append({(new ConfigSection(text, &window))->titleLabel(), text});
    }
    window.show();
    for (const auto& [label, text] : labels) {
        label->grab();
        EXPECT_EQ(ShownText::label(label), text);
    }
    EXPECT_FALSE(watch.wasRead());
}

} // namespace
