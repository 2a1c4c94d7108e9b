#include "settings/DiagnosticsTab.h"

#include "platform/session/Clipboard.h"
#include "platform/net/Endpoints.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/HomeTab.h"
#include "settings/SettingsKit.h"
#include "store/FeedStore.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsKit;

DiagnosticsTab::DiagnosticsTab(FeedStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    m_report = valueLabel(this);
    QFont mono = m_report->font();
    mono.setFamily(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(12);
    m_report->setFont(mono);
    m_copy = button(QStringLiteral("Copy diagnostics"), this,
                    [this] { Clipboard::system().setText(report(m_store)); });

    QVBoxLayout* column = makePage(this);
    auto* section = new ConfigSection(QStringLiteral("DIAGNOSTICS"));
    section->addRow(new ConfigRow(QStringLiteral("Report"), m_report));
    section->addRow(new ConfigRow(QStringLiteral("Clipboard"), m_copy));
    column->addWidget(section);

    auto update = [this] { m_report->setText(report(m_store)); };
    for (auto signal : {&FeedStore::phaseChanged, &FeedStore::lastUpdatedChanged, &FeedStore::feedsChanged,
                        &FeedStore::itemsChanged, &FeedStore::personalItemsChanged, &FeedStore::nowPlayingItemsChanged})
        connect(&store, signal, this, update);
    update();
}

QString DiagnosticsTab::report(const FeedStore& store)
{
    const Endpoints& endpoints = Endpoints::current();
    const QStringList lines = {
        QStringLiteral("Version: ") + QCoreApplication::applicationVersion(),
        QStringLiteral("Server API: ") + endpoints.apiBase.toString(),
        QStringLiteral("Favicons: ") + endpoints.faviconBase.toString(),
        QStringLiteral("Finnhub: ") + endpoints.finnhubBase.toString(),
        QStringLiteral("CoinGecko: ") + endpoints.coingeckoBase.toString(),
        QStringLiteral("Artwork: ") + endpoints.itunesBase.toString(),
        QStringLiteral("Phase: ") + HomeTab::phaseText(store),
        QStringLiteral("Last refresh: ") +
            (store.lastUpdated() ? store.lastUpdated()->toUTC().toString(Qt::ISODate) : QStringLiteral("never")),
        QStringLiteral("Catalogue feeds: ") + QString::number(store.feeds().size()),
        QStringLiteral("Catalogue items: ") + QString::number(store.items().size()),
        QStringLiteral("Personal items: ") + QString::number(store.personalItems().size()),
        QStringLiteral("Music lane items: ") + QString::number(store.nowPlayingItems().size()),
    };
    return lines.join(QLatin1Char('\n'));
}
