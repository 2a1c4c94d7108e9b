#include "settings/SettingsView.h"

#include "platform/storage/Defaults.h"
#include "platform/session/NotificationCenter.h"
#include "platform/storage/SettingsCatalogue.h"
#include "settings/FocusRing.h"
#include "settings/SaveNotice.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QStackedWidget>
#include <QVBoxLayout>

SettingsView::SettingsView(FeedStore& store, SettingsTab initialTab, QWidget* parent, Defaults* defaults)
    : QWidget(parent),
      m_store(store),
      m_defaults(defaults ? *defaults : Defaults::standard()),
      m_sidebar(new QListWidget(this)),
      m_stack(new QStackedWidget(this)),
      m_saveNotice(new SaveNotice(m_defaults, this)),
      m_selected(initialTab)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_sidebar->setFixedWidth(190);
    m_sidebar->setFrameShape(QFrame::NoFrame);
    // Dark like the pages, the chosen tab in the accent blue.
    m_sidebar->setStyleSheet(QStringLiteral(
        "QListWidget { padding-top: 12px; outline: 0; background: rgb(20, 20, 22); color: rgb(230, 230, 230); }"
        " QListWidget::item { padding-left: 14px; }"));
    QPalette sidebarPalette = m_sidebar->palette();
    sidebarPalette.setColor(QPalette::Highlight, QColor(38, 56, 92));
    sidebarPalette.setColor(QPalette::HighlightedText, Qt::white);
    m_sidebar->setPalette(sidebarPalette);
    FocusRing::attach(m_sidebar, 0);  // the style sheet leaves out the focus frame of its current row
    QFont font = m_sidebar->font();
    font.setPixelSize(13);
    m_sidebar->setFont(font);
    for (SettingsTab tab : SettingsTabs::all()) {
        auto* item = new QListWidgetItem(SettingsTabs::title(tab), m_sidebar);
        item->setSizeHint(QSize(0, 30));
    }
    layout->addWidget(m_sidebar);
    auto* content = new QVBoxLayout;
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(0);
    content->addWidget(m_saveNotice);
    content->addWidget(m_stack, 1);
    layout->addLayout(content, 1);

    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < SettingsTabs::all().size())
            setSelectedTab(SettingsTabs::all()[row]);
    });
    connect(&NotificationCenter::shared(), &NotificationCenter::posted, this,
            [this](const QString& name, const QVariantMap& userInfo) {
                if (name != SettingsTabs::selectTabNotification)
                    return;
                const QVariant value = userInfo.value(SettingsTabs::selectTabKey);
                if (value.typeId() != QMetaType::QString)
                    return;
                if (const auto tab = SettingsTabs::fromTitle(value.toString()))
                    setSelectedTab(*tab);
            });
    connect(&m_defaults, &Defaults::changed, this, [this](const QString& key) {
        if (key == Settings::showDebugTab.key)
            updateDebugTab();
    });
    if (initialTab == SettingsTab::Debug && !Settings::showDebugTab.read(m_defaults))
        m_selected = SettingsTab::Home;
    setSelectedTab(m_selected);
    updateDebugTab();
}

bool SettingsView::isListed(SettingsTab tab) const
{
    return !m_sidebar->isRowHidden(int(SettingsTabs::all().indexOf(tab)));
}

void SettingsView::setSelectedTab(SettingsTab tab)
{
    if (tab == SettingsTab::Debug && !Settings::showDebugTab.read(m_defaults))
        return;  // a hidden tab cannot be shown
    QPointer<QWidget>& page = m_pages[tab];
    if (!page) {
        page = SettingsTabs::create(tab, m_store, m_stack);
        m_stack->addWidget(page);
    }
    m_stack->setCurrentWidget(page);
    const int row = int(SettingsTabs::all().indexOf(tab));
    if (m_sidebar->currentRow() != row)
        m_sidebar->setCurrentRow(row);
    const bool changed = m_selected != tab;
    m_selected = tab;
    if (changed)
        Q_EMIT selectedTabChanged(tab);
}

void SettingsView::updateDebugTab()
{
    const bool shown = Settings::showDebugTab.read(m_defaults);
    m_sidebar->setRowHidden(int(SettingsTabs::all().indexOf(SettingsTab::Debug)), !shown);
    if (!shown && m_selected == SettingsTab::Debug)
        setSelectedTab(SettingsTab::Home);
}
