#include "settings/PersonalFeedsSection.h"

#include "api/Color.h"
#include "personal/PersonalFeedStore.h"
#include "platform/base/Clock.h"
#include "widgets/PlainText.h"
#include "settings/AddPersonalFeedSheet.h"
#include "settings/BusySpinner.h"
#include "settings/ListCutNotice.h"
#include "settings/PersonalFeedRow.h"
#include "settings/PillButton.h"
#include "settings/SettingsLook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QCheckBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// A rounded panel filled with the settings row colour at some opacity.
class RoundedPanel : public QWidget {
public:
    RoundedPanel(qreal opacity, QWidget* parent) : QWidget(parent), m_opacity(opacity) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(SettingsLook::withOpacity(Color::rowBackground(), m_opacity));
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }

private:
    qreal m_opacity;
};

} // namespace

PersonalFeedsSection::PersonalFeedsSection(QWidget* parent, PersonalFeedStore* store, Clock* clock)
    : QWidget(parent), m_store(store ? *store : PersonalFeedStore::shared()), m_clock(clock ? *clock : Clock::system())
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new RoundedPanel(1.0, this);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(12, 10, 12, 10);
    headerLayout->setSpacing(10);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(SettingsLook::label(QStringLiteral("YOUR FEEDS"), SettingsLook::font(11, QFont::Bold, true),
                                          Color::accentBlue()));
    m_count = SettingsLook::label(QString(), SettingsLook::font(10, QFont::Normal, true), Color::mutedText());
    titles->addWidget(m_count);
    headerLayout->addLayout(titles);
    headerLayout->addStretch(1);
    m_spinner = new BusySpinner(Color::mutedText(), header);
    headerLayout->addWidget(m_spinner, 0, Qt::AlignVCenter);
    m_add = new PillButton(QStringLiteral("ADD A FEED"), 10, QSize(10, 6), header);
    m_add->setToolTip(QStringLiteral("Add an RSS or Atom feed just for you. It stays on this computer."));
    connect(m_add, &PillButton::clicked, this, &PersonalFeedsSection::showAddSheet);
    headerLayout->addWidget(m_add, 0, Qt::AlignVCenter);
    layout->addWidget(header);

    m_cut = new ListCutNotice(m_store.storedFeeds(), QStringLiteral("feed"), QStringLiteral("feeds"), this);
    layout->addWidget(m_cut);

    m_empty = SettingsLook::label(
        QStringLiteral("Paste any RSS or Atom URL. It goes live on your ticker the moment it validates, is private "
                       "to this computer, and never touches the shared catalogue."),
        SettingsLook::font(11), Color::mutedText(), this);
    m_empty->setWordWrap(true);
    m_empty->setContentsMargins(12, 8, 12, 8);
    layout->addWidget(m_empty);

    // The rows' panel, 2 pixels below the header.
    m_list = new QWidget(this);
    auto* holderLayout = new QVBoxLayout(m_list);
    holderLayout->setContentsMargins(0, 2, 0, 0);
    auto* panel = new RoundedPanel(0.6, m_list);
    m_listLayout = new QVBoxLayout(panel);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(0);
    holderLayout->addWidget(panel);
    layout->addWidget(m_list);

    connect(&m_store, &PersonalFeedStore::feedsChanged, this, &PersonalFeedsSection::rebuildRows);
    connect(&m_store, &PersonalFeedStore::isRefreshingChanged, this, &PersonalFeedsSection::refreshHeader);
    rebuildRows();
}

PersonalFeedsSection::~PersonalFeedsSection()
{
    // The sheet sits on the settings window, not on the section.
    delete m_sheet.data();
}

QString PersonalFeedsSection::countText(const QList<PersonalFeed>& feeds)
{
    if (feeds.isEmpty())
        return QStringLiteral("Private to this computer");
    const auto on = std::count_if(feeds.cbegin(), feeds.cend(), [](const PersonalFeed& f) { return f.isEnabled; });
    return QStringLiteral("%1 of %2 on \u00B7 private to this computer").arg(on).arg(feeds.size());
}

void PersonalFeedsSection::rebuildRows()
{
    // Keyboard focus stays on the same control of the same feed.
    QString focusedFeed;
    bool removeHadFocus = false;
    for (const PersonalFeedRow* row : std::as_const(m_rows)) {
        if (row->enableSwitch()->hasFocus() || row->removeButton()->hasFocus()) {
            focusedFeed = row->feed().id;
            removeHadFocus = row->removeButton()->hasFocus();
        }
    }
    // Old rows go later: the one whose switch was just flipped is still
    // handling its click.
    for (PersonalFeedRow* row : std::as_const(m_rows)) {
        row->hide();
        m_listLayout->removeWidget(row);
        row->deleteLater();
    }
    m_rows.clear();
    for (const PersonalFeed& feed : m_store.feeds()) {
        const QString id = feed.id;
        const bool enabled = feed.isEnabled;
        auto* row = new PersonalFeedRow(
            feed, [this, id, enabled] { m_store.setEnabled(id, !enabled); },
            [this, feed] { askToRemove(feed); }, m_clock);
        m_listLayout->addWidget(row);
        m_rows.append(row);
        if (id == focusedFeed) {
            QWidget* control = removeHadFocus ? static_cast<QWidget*>(row->removeButton()) : row->enableSwitch();
            control->setFocus(Qt::OtherFocusReason);
        }
    }
    const bool empty = m_rows.isEmpty();
    m_empty->setVisible(empty);
    m_list->setVisible(!empty);
    refreshHeader();
}

void PersonalFeedsSection::refreshHeader()
{
    const QList<PersonalFeed>& feeds = m_store.feeds();
    m_count->setText(countText(feeds));
    m_spinner->setVisible(m_store.isRefreshing());
    m_add->setEnabled(feeds.size() < PersonalFeedStore::kMaxFeeds);
}

void PersonalFeedsSection::showAddSheet()
{
    if (m_sheet || !m_add->isEnabled())
        return;
    // Over the settings window, a fresh sheet each time; closing it ends it.
    m_sheet = new AddPersonalFeedSheet(window(), &m_store);
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_sheet->open();
}

void PersonalFeedsSection::askToRemove(const PersonalFeed& feed)
{
    if (m_confirmation)
        m_confirmation->close();
    m_confirmRemove = feed;
    const QString title = QStringLiteral("Remove \u201C") + feed.title + QStringLiteral("\u201D?");
    auto* box = new QMessageBox(window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(PlainText::windowTitle(title));
    PlainText::setMessage(*box, title,
                          QStringLiteral("Its headlines leave the ticker straight away. You can add it back any time."));
    QPushButton* remove = box->addButton(QStringLiteral("Remove"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    // Any way of closing the question other than "Remove" keeps the feed.
    connect(box, &QMessageBox::finished, this, [this, box, remove] { answerRemoval(box->clickedButton() == remove); });
    m_confirmation = box;
    box->open();
}

void PersonalFeedsSection::answerRemoval(bool remove)
{
    const std::optional<PersonalFeed> feed = std::exchange(m_confirmRemove, std::nullopt);
    if (remove && feed)
        m_store.remove(feed->id);
}
