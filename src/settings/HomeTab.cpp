#include "settings/HomeTab.h"

#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsKit.h"
#include "store/FeedStore.h"
#include "ticker/StripServices.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsKit;

HomeTab::HomeTab(FeedStore& store, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_phase(valueLabel(nullptr)),
      m_status(valueLabel(nullptr)),
      m_connection(valueLabel(nullptr)),
      m_headlines(valueLabel(nullptr)),
      m_lastRefresh(valueLabel(nullptr))
{
    QVBoxLayout* column = makePage(this);
    auto* status = new ConfigSection(QStringLiteral("STATUS"));
    status->addRow(new ConfigRow(QStringLiteral("Phase"), m_phase));
    status->addRow(new ConfigRow(QStringLiteral("Status"), m_status));
    status->addRow(new ConfigRow(QStringLiteral("Connection"), m_connection));
    status->addRow(new ConfigRow(QStringLiteral("Headlines loaded"), m_headlines));
    status->addRow(new ConfigRow(QStringLiteral("Last refresh"), m_lastRefresh));
    column->addWidget(status);

    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    FeedStore* s = &store;
    row->addWidget(button(QStringLiteral("Search…"), buttons, [s] { StripServices::installed().showSearch(*s); }));
    row->addWidget(
        button(QStringLiteral("Full Screen"), buttons, [s] { StripServices::installed().showFullScreen(*s); }));
    auto* open = new ConfigSection(QStringLiteral("OPEN"));
    open->addRow(new ConfigRow(QStringLiteral("Windows"), buttons));
    column->addWidget(open);

    for (auto signal : {&FeedStore::phaseChanged, &FeedStore::statusMessageChanged, &FeedStore::isOnlineChanged,
                        &FeedStore::itemsChanged, &FeedStore::personalItemsChanged, &FeedStore::lastUpdatedChanged})
        connect(&store, signal, this, &HomeTab::refreshTexts);
    refreshTexts();
}

QString HomeTab::phaseText(const FeedStore& store)
{
    switch (store.phase().kind) {
    case FeedStore::AppPhase::Kind::Booting: return QStringLiteral("Starting…");
    case FeedStore::AppPhase::Kind::Running: return QStringLiteral("Running");
    case FeedStore::AppPhase::Kind::Error: return QStringLiteral("Error: ") + store.phase().message;
    }
    return {};
}

void HomeTab::refreshTexts()
{
    m_phase->setText(phaseText(m_store));
    m_status->setText(m_store.statusMessage());
    m_connection->setText(m_store.isOnline() ? QStringLiteral("Online") : QStringLiteral("Offline"));
    m_headlines->setText(QString::number(m_store.items().size() + m_store.personalItems().size()));
    m_lastRefresh->setText(m_store.lastUpdated() ? QLocale().toString(m_store.lastUpdated()->toLocalTime(),
                                                                       QLocale::ShortFormat)
                                                 : QStringLiteral("Not yet"));
}
