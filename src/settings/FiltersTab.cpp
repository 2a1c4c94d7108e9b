#include "settings/FiltersTab.h"

#include "api/Color.h"
#include "platform/storage/Defaults.h"
#include "settings/AddPersonalFeedSheet.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/ListCutNotice.h"
#include "settings/SettingsKit.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/TickerRow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsKit;

namespace {

const char* const kPhraseProperty = "phrase";

QStringList withoutPhrase(const QStringList& list, const QString& phrase)
{
    QStringList kept;
    for (const QString& entry : list)
        if (entry.compare(phrase, Qt::CaseInsensitive) != 0)
            kept.append(entry);
    return kept;
}

QStringList phrasesIn(const QWidget* list)
{
    QStringList out;
    for (const QPushButton* button : list->findChildren<QPushButton*>())
        out.append(button->property(kPhraseProperty).toString());
    return out;
}

} // namespace

FiltersTab::FiltersTab(FeedStore& store, QWidget* parent, FilterStore* filters, ReadStore* reads, Defaults* defaults)
    : QWidget(parent),
      m_filters(filters ? *filters : FilterStore::shared()),
      m_reads(reads ? *reads : ReadStore::shared()),
      m_defaults(defaults ? *defaults : Defaults::standard())
{
    Q_UNUSED(store);
    QVBoxLayout* page = makePage(this, Page::Editor);
    page->addWidget(makePhraseSection(Which::Muted));
    page->addWidget(makePhraseSection(Which::Followed));

    auto* history = new ConfigSection(QStringLiteral("READ HISTORY"), this);
    m_dim = plainSwitch(this);
    history->addRow(new ConfigRow(QStringLiteral("Dim read headlines"), m_dim));
    m_historyCount = textLabel(QString(), this, Color::mutedText());
    m_clearHistory = button(QStringLiteral("Clear read history"), this);
    history->addRow(new ConfigRow(QStringLiteral("Read headlines"), line(this, {m_historyCount, m_clearHistory})));
    page->addWidget(history);
    page->addStretch(1);

    connect(m_dim, &QCheckBox::toggled, this,
            [this](bool on) { m_defaults.setAndSave(TickerRow::dimReadItemsKey, on); });
    connect(m_clearHistory, &QPushButton::clicked, this, [this] { m_reads.clear(); });
    connect(&m_filters, &FilterStore::mutedChanged, this, [this] { showPhrases(Which::Muted); });
    connect(&m_filters, &FilterStore::followedChanged, this, [this] { showPhrases(Which::Followed); });
    connect(&m_reads, &ReadStore::revisionChanged, this, &FiltersTab::showHistory);
    connect(&m_defaults, &Defaults::changed, this, [this](const QString& key) {
        if (key == TickerRow::dimReadItemsKey)
            showDim();
    });

    showPhrases(Which::Muted);
    showPhrases(Which::Followed);
    showHistory();
    showDim();
}

ConfigSection* FiltersTab::makePhraseSection(Which which)
{
    const bool muted = which == Which::Muted;
    auto* section = new ConfigSection(muted ? QStringLiteral("MUTED PHRASES") : QStringLiteral("FOLLOWED PHRASES"), this);
    auto* field = new QLineEdit(this);
    field->setPlaceholderText(muted ? QStringLiteral("Hide headlines containing…")
                                    : QStringLiteral("Favour headlines containing…"));
    field->setMinimumWidth(260);
    auto* addButton = button(muted ? QStringLiteral("Mute") : QStringLiteral("Follow"), this);
    auto* entry = new QWidget(this);
    auto* entryLayout = new QVBoxLayout(entry);
    entryLayout->setContentsMargins(0, 0, 0, 0);
    entryLayout->addWidget(line(entry, {field, addButton}));
    auto* full = new OutcomeLine(entry);
    full->hide();
    entryLayout->addWidget(full);
    section->addRow(new ConfigRow(muted ? QStringLiteral("Mute a phrase") : QStringLiteral("Follow a phrase"), entry));
    auto* list = new QWidget(this);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    section->addRow(list);
    auto* cut = muted ? new ListCutNotice(m_filters.storedMuted(), QStringLiteral("muted phrase"),
                                          QStringLiteral("muted phrases"), this)
                      : new ListCutNotice(m_filters.storedFollowed(), QStringLiteral("followed phrase"),
                                          QStringLiteral("followed phrases"), this);
    section->addRow(cut);

    connect(field, &QLineEdit::returnPressed, this, [this, which] { add(which); });
    connect(addButton, &QPushButton::clicked, this, [this, which] { add(which); });
    (muted ? m_muteField : m_followField) = field;
    (muted ? m_muteFull : m_followFull) = full;
    (muted ? m_mutedList : m_followedList) = list;
    (muted ? m_mutedCut : m_followedCut) = cut;
    return section;
}

void FiltersTab::add(Which which)
{
    QLineEdit* field = which == Which::Muted ? m_muteField : m_followField;
    const QString phrase = field->text();
    if (phrase.trimmed().isEmpty())
        return;
    const bool muted = which == Which::Muted;
    const FilterStore::Added added = muted ? m_filters.mute(phrase) : m_filters.follow(phrase);
    OutcomeLine* full = muted ? m_muteFull : m_followFull;
    if (added == FilterStore::Added::ListFull) {
        full->showOutcome(FilterStore::fullListText(muted), false);
        return;  // what was typed stays for when a phrase is removed
    }
    full->hide();
    field->clear();
}

QString FiltersTab::fullListLine(bool muted) const
{
    const OutcomeLine* full = muted ? m_muteFull : m_followFull;
    return full->isHidden() ? QString() : full->text();
}

void FiltersTab::remove(Which which, const QString& phrase)
{
    if (which == Which::Muted)
        m_filters.setMuted(withoutPhrase(m_filters.muted(), phrase));
    else
        m_filters.setFollowed(withoutPhrase(m_filters.followed(), phrase));
    m_filters.save();
}

void FiltersTab::showPhrases(Which which)
{
    const bool muted = which == Which::Muted;
    QWidget* list = muted ? m_mutedList : m_followedList;
    clearLayout(list->layout());
    const QStringList& phrases = muted ? m_filters.muted() : m_filters.followed();
    if (!(muted ? m_filters.isMutedFull() : m_filters.isFollowedFull()))
        (muted ? m_muteFull : m_followFull)->hide();  // there is room again
    if (phrases.isEmpty()) {
        list->layout()->addWidget(new ConfigRow(
            QString(), textLabel(muted ? QStringLiteral("Nothing muted") : QStringLiteral("Nothing followed"), list,
                                Color::mutedText())));
        return;
    }
    QList<QWidget*> buttons;
    for (const QString& phrase : phrases) {
        auto* removeButton = button(QStringLiteral("Remove"), list);
        removeButton->setProperty(kPhraseProperty, phrase);
        connect(removeButton, &QPushButton::clicked, this, [this, which, phrase] { remove(which, phrase); });
        list->layout()->addWidget(new ConfigRow(phrase, removeButton));
        buttons.append(removeButton);
    }
    chainFocusAfter(list, buttons);
}

void FiltersTab::showHistory()
{
    const qsizetype count = m_reads.order().size();
    m_historyCount->setText(count == 1 ? QStringLiteral("1 headline remembered")
                                       : QStringLiteral("%1 headlines remembered").arg(count));
    m_clearHistory->setEnabled(count > 0);
}

void FiltersTab::showDim()
{
    const QSignalBlocker block(m_dim);
    m_dim->setChecked(m_defaults.boolValue(TickerRow::dimReadItemsKey, TickerRow::dimReadItemsDefault));
}

QStringList FiltersTab::shownMuted() const
{
    return phrasesIn(m_mutedList);
}

QStringList FiltersTab::shownFollowed() const
{
    return phrasesIn(m_followedList);
}

QPushButton* FiltersTab::removeButton(bool muted, const QString& phrase) const
{
    for (QPushButton* button : (muted ? m_mutedList : m_followedList)->findChildren<QPushButton*>())
        if (button->property(kPhraseProperty).toString() == phrase)
            return button;
    return nullptr;
}
