#include "settings/AboutTab.h"

#include "api/Color.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsKit.h"
#include "settings/TidewireMark.h"
#include "store/FeedStore.h"
#include "ticker/StripServices.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsKit;

AboutTab::AboutTab(FeedStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    QVBoxLayout* column = makePage(this);
    column->addWidget(new TidewireMark(40, Qt::white, Color::accentBlue(), this), 0, Qt::AlignLeft);
    auto* name = valueLabel(this);
    name->setText(QStringLiteral("Tidewire"));
    QFont font = name->font();
    font.setPixelSize(22);
    font.setBold(true);
    name->setFont(font);
    column->addWidget(name);
    m_version = valueLabel(this);
    m_version->setText(QStringLiteral("Version ") + QCoreApplication::applicationVersion());
    column->addWidget(m_version);

    m_update = valueLabel(this);
    m_download = button(QStringLiteral("Download…"), this, [this] {
        const auto& release = m_store.availableUpdate();
        if (release && release->downloadURL())
            StripServices::installed().presentUpdatePrompt(release->version, *release->downloadURL());
    });
    m_dismiss = button(QStringLiteral("Dismiss"), this, [this] { m_store.dismissUpdate(); });
    auto* offer = new QWidget;
    auto* row = new QHBoxLayout(offer);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_update);
    row->addSpacing(12);
    row->addWidget(m_download);
    row->addWidget(m_dismiss);
    auto* updates = new ConfigSection(QStringLiteral("UPDATES"));
    updates->addRow(new ConfigRow(QStringLiteral("Available"), offer));
    column->addWidget(updates);

    connect(&store, &FeedStore::availableUpdateChanged, this, &AboutTab::showUpdate);
    showUpdate();
}

void AboutTab::showUpdate()
{
    const auto& release = m_store.availableUpdate();
    m_update->setText(release ? QStringLiteral("Version ") + release->version + QStringLiteral(" is available")
                              : QStringLiteral("You are up to date"));
    m_download->setVisible(release.has_value());
    m_dismiss->setVisible(release.has_value());
}
