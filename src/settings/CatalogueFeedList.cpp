#include "settings/CatalogueFeedList.h"

#include "api/Color.h"
#include "settings/CatalogueFeedRow.h"
#include "settings/SettingsLook.h"
#include "settings/SignalSwitchStyle.h"
#include "store/FeedStore.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QHash>
#include <algorithm>
#include <limits>

namespace {

// The rounded hairline frame the rows sit in, as in a ConfigSection.
class FramePanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Color::hairline());
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }
};

// Everything a row shows, so a refresh that brings the same catalogue keeps
// the rows (and the scroll position) as they are.
QString catalogueKey(const QList<FeedIndexItem>& feeds)
{
    QStringList parts;
    parts.reserve(feeds.size());
    for (const FeedIndexItem& feed : feeds) {
        parts.append(QStringList{feed.id, feed.title, feed.url.value_or(QString()), CatalogueFeedRow::categoryName(feed),
                                 rawValue(feed.sourceType.value_or(SourceType::Rss)),
                                 feed.isActive.value_or(true) ? QStringLiteral("1") : QStringLiteral("0")}
                         .join(QChar(0x1F)));
    }
    return parts.join(QChar(0x1E));
}

qint64 sortOrderOf(const FeedIndexItem& feed)
{
    return feed.category && feed.category->sortOrder ? *feed.category->sortOrder
                                                     : std::numeric_limits<qint64>::max();
}

} // namespace

CatalogueFeedList::CatalogueFeedList(FeedStore& store, Grouping grouping, Include include, QWidget* parent)
    : QWidget(parent), m_store(store), m_grouping(grouping), m_include(std::move(include))
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(14);
    m_noMatch = SettingsLook::label(QStringLiteral("No feeds match this filter."), SettingsLook::font(11),
                                    Color::mutedText(), this);
    m_noMatch->hide();
    m_layout->addWidget(m_noMatch);

    connect(&m_store, &FeedStore::feedsChanged, this, &CatalogueFeedList::rebuildIfChanged);
    connect(&m_store, &FeedStore::disabledIDsChanged, this, &CatalogueFeedList::refreshStates);
    rebuild();
}

void CatalogueFeedList::setFilter(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_filter)
        return;
    m_filter = trimmed;
    applyFilter();
}

CatalogueFeedRow* CatalogueFeedList::row(const QString& feedId) const
{
    const auto it = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                 [&](const CatalogueFeedRow* r) { return r->feedId() == feedId; });
    return it == m_rows.cend() ? nullptr : *it;
}

QList<CatalogueFeedRow*> CatalogueFeedList::visibleRows() const
{
    QList<CatalogueFeedRow*> shown;
    for (CatalogueFeedRow* r : m_rows) {
        if (!r->isHidden() && !r->parentWidget()->parentWidget()->isHidden())
            shown.append(r);
    }
    return shown;
}

void CatalogueFeedList::rebuildIfChanged()
{
    QList<FeedIndexItem> listed;
    for (const FeedIndexItem& feed : m_store.feeds()) {
        if (!m_include || m_include(feed))
            listed.append(feed);
    }
    if (catalogueKey(listed) != m_catalogueKey)
        rebuild();
}

void CatalogueFeedList::rebuild()
{
    for (QWidget* block : std::as_const(m_blocks)) {
        m_layout->removeWidget(block);
        block->hide();
        block->deleteLater();  // a row may still be handling its click
    }
    m_blocks.clear();
    m_rows.clear();
    m_categories.clear();

    QList<FeedIndexItem> listed;
    for (const FeedIndexItem& feed : m_store.feeds()) {
        if (!m_include || m_include(feed))
            listed.append(feed);
    }
    m_catalogueKey = catalogueKey(listed);

    if (m_grouping == Grouping::Flat) {
        if (!listed.isEmpty())
            addCategoryBlock(QString(), listed);
    } else {
        // Categories by their sort order, then by first appearance.
        QStringList names;
        QHash<QString, QList<FeedIndexItem>> byName;
        QHash<QString, qint64> order;
        for (const FeedIndexItem& feed : listed) {
            const QString name = CatalogueFeedRow::categoryName(feed);
            if (!byName.contains(name)) {
                names.append(name);
                order.insert(name, sortOrderOf(feed));
            }
            byName[name].append(feed);
        }
        std::stable_sort(names.begin(), names.end(),
                         [&](const QString& a, const QString& b) { return order.value(a) < order.value(b); });
        for (const QString& name : std::as_const(names))
            addCategoryBlock(name, byName.value(name));
    }
    refreshStates();
    applyFilter();
    Q_EMIT rebuilt();
}

void CatalogueFeedList::addCategoryBlock(const QString& name, const QList<FeedIndexItem>& feeds)
{
    auto* block = new QWidget(this);
    auto* blockLayout = new QVBoxLayout(block);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    blockLayout->setSpacing(6);

    Category category;
    category.name = name;
    category.block = block;
    if (m_grouping == Grouping::ByCategory) {
        auto* header = new QHBoxLayout;
        header->setContentsMargins(0, 0, 14, 0);
        header->setSpacing(10);
        header->addWidget(SettingsLook::label(name.toUpper(), SettingsLook::font(10, QFont::Bold, true),
                                              Color::accentBlue(), block));
        category.count = SettingsLook::label(QString(), SettingsLook::font(10, QFont::Normal, true),
                                             Color::mutedText(), block);
        header->addWidget(category.count);
        header->addStretch(1);
        category.toggle = new QCheckBox(block);
        SignalSwitchStyle::settings()->apply(category.toggle);
        category.toggle->setAccessibleName(name);
        header->addWidget(category.toggle);
        blockLayout->addLayout(header);
    }

    auto* panel = new FramePanel(block);
    auto* rows = new QVBoxLayout(panel);
    rows->setContentsMargins(1, 1, 1, 1);
    rows->setSpacing(0);
    for (const FeedIndexItem& feed : feeds) {
        category.feedIds.append(feed.id);
        const QString id = feed.id;
        auto* row = new CatalogueFeedRow(feed, [this, id] { m_store.toggleFeed(id); }, panel);
        rows->addWidget(row);
        m_rows.append(row);
    }
    blockLayout->addWidget(panel);

    if (category.toggle) {
        const QStringList ids = category.feedIds;
        QCheckBox* toggle = category.toggle;
        connect(toggle, &QCheckBox::clicked, this, [this, ids, toggle] {
            const bool wasOn = !toggle->isChecked();  // the click flipped it
            toggle->setChecked(wasOn);                // the store decides
            m_store.setFeeds(ids, !wasOn);
        });
    }
    m_layout->insertWidget(m_layout->count() - 1, block);
    m_blocks.append(block);
    m_categories.append(category);
}

void CatalogueFeedList::refreshStates()
{
    const QSet<QString>& disabled = m_store.disabledIDs();
    for (CatalogueFeedRow* r : std::as_const(m_rows))
        r->setOn(!disabled.contains(r->feedId()));
    for (Category& category : m_categories) {
        if (!category.toggle)
            continue;
        int active = 0;
        int on = 0;
        for (const QString& id : std::as_const(category.feedIds)) {
            const CatalogueFeedRow* r = row(id);
            if (!r->isActive())
                continue;
            ++active;
            on += r->isOn() ? 1 : 0;
        }
        category.toggle->setChecked(active > 0 && on == active);
        category.toggle->setEnabled(active > 0);
        category.count->setText(QStringLiteral("%1 of %2 on").arg(on).arg(active));
    }
}

void CatalogueFeedList::applyFilter()
{
    bool any = false;
    for (const Category& category : std::as_const(m_categories)) {
        bool blockShown = false;
        for (const QString& id : category.feedIds) {
            CatalogueFeedRow* r = row(id);
            const bool shown = r->matches(m_filter);
            r->setVisible(shown);
            blockShown = blockShown || shown;
        }
        category.block->setVisible(blockShown);
        any = any || blockShown;
    }
    m_noMatch->setVisible(!any && !m_filter.isEmpty());
}
