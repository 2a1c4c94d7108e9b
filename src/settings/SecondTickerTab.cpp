#include "settings/SecondTickerTab.h"

#include "platform/Defaults.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsControls.h"
#include "store/FeedStore.h"
#include "ticker/StripConfig.h"
#include "ticker/StripServices.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

using namespace SettingsControls;

namespace {

void reposition()
{
    StripServices::installed().reposition();
}

// The stacked strip's field, read from and written to the stored list.
template <class T>
std::function<T()> reader(Defaults& d, T StripConfig::*member)
{
    return [&d, member] { return StripConfig::load(d).first().*member; };
}

template <class T>
std::function<void(T)> writer(Defaults& d, T StripConfig::*member, bool moves)
{
    return [&d, member, moves](T value) {
        StripConfig::setField(d, 0, member, value);
        if (moves)
            reposition();
    };
}

// Every key the stacked strip's configuration is read from.
QStringList stripKeys()
{
    using namespace Settings;
    return {stackedStripsJSON.key.toString(), scrollSpeed.key.toString(), tickerSize.key.toString(),
            themeBackground.key.toString(), extraStripMixes.key.toString()};
}

} // namespace

SecondTickerTab::SecondTickerTab(FeedStore& store, QWidget* parent, Defaults* defaults)
    : QWidget(parent), m_store(store), m_defaults(defaults ? *defaults : Defaults::standard())
{
    Defaults& d = m_defaults;
    m_enabled = boolSwitch(Settings::secondTickerEnabled, d, this, reposition);
    m_speed = picker<double>(StripOptions::speedOptions(), reader(d, &StripConfig::speed),
                             writer(d, &StripConfig::speed, false), d, stripKeys(), this);
    m_size = picker<int>(StripOptions::sizeOptions(), reader(d, &StripConfig::size), writer(d, &StripConfig::size, true),
                         d, stripKeys(), this);
    m_background = picker<QString>(StripOptions::themeOptions(), reader(d, &StripConfig::background),
                                   writer(d, &StripConfig::background, false), d, stripKeys(), this);
    m_mixSlot = new QWidget(this);
    auto* slotLayout = new QHBoxLayout(m_mixSlot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    rebuildMixes();
    // The category mixes follow the loaded headlines.
    connect(&store, &FeedStore::itemsChanged, this, &SecondTickerTab::rebuildMixes);

    QVBoxLayout* column = makeColumn(this);
    auto* strip = new ConfigSection(QStringLiteral("SECOND TICKER"));
    strip->addRow(new ConfigRow(QStringLiteral("Show second ticker"), m_enabled));
    strip->addRow(new ConfigRow(QStringLiteral("Mix"), m_mixSlot));
    strip->addRow(new ConfigRow(QStringLiteral("Speed"), m_speed));
    strip->addRow(new ConfigRow(QStringLiteral("Size"), m_size));
    strip->addRow(new ConfigRow(QStringLiteral("Background"), m_background));
    column->addWidget(strip);
}

void SecondTickerTab::rebuildMixes()
{
    Defaults& d = m_defaults;
    QComboBox* fresh = picker<QString>(StripOptions::stripMixOptions(m_store.items()), reader(d, &StripConfig::mix),
                                       writer(d, &StripConfig::mix, false), d, stripKeys(), m_mixSlot);
    m_mixSlot->layout()->addWidget(fresh);
    if (m_mix) {
        QWidget::setTabOrder(m_enabled, fresh);
        delete m_mix;
    }
    m_mix = fresh;
    QWidget::setTabOrder(m_mix, m_speed);
}
