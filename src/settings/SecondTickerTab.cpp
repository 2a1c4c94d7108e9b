#include "settings/SecondTickerTab.h"

#include "platform/storage/Defaults.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsKit.h"
#include "store/FeedStore.h"
#include "ticker/StripConfig.h"
#include "ticker/StripServices.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QEvent>
#include <QTimer>
#include <QVBoxLayout>

using namespace SettingsKit;

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

bool sameOptions(const QList<StripOption<QString>>& a, const QList<StripOption<QString>>& b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const auto& x, const auto& y) { return x.label == y.label && x.value == y.value; });
}

} // namespace

SecondTickerTab::SecondTickerTab(FeedStore& store, QWidget* parent, Defaults* defaults)
    : QWidget(parent), m_store(store), m_defaults(defaults ? *defaults : Defaults::standard())
{
    Defaults& d = m_defaults;
    m_enabled = boolSwitch(Settings::secondTickerEnabled, d, this, reposition);
    m_mix = new QComboBox(this);
    connect(m_mix, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < m_mixOptions.size())
            writer(m_defaults, &StripConfig::mix, false)(m_mixOptions[index].value);
    });
    updateMixOptions();
    follow(d, stripKeys(), m_mix, [this] { showMix(); });
    // The category mixes follow the loaded headlines; a change that came
    // while the list was open is taken when it closes.
    connect(&store, &FeedStore::itemsChanged, this, &SecondTickerTab::updateMixOptions);
    m_mix->view()->window()->installEventFilter(this);

    m_speed = picker<double>(StripOptions::speedOptions(), reader(d, &StripConfig::speed),
                             writer(d, &StripConfig::speed, false), d, stripKeys(), this);
    m_size = picker<int>(StripOptions::sizeOptions(), reader(d, &StripConfig::size), writer(d, &StripConfig::size, true),
                         d, stripKeys(), this);
    m_background = picker<QString>(StripOptions::themeOptions(), reader(d, &StripConfig::background),
                                   writer(d, &StripConfig::background, false), d, stripKeys(), this);
    QVBoxLayout* column = makePage(this);
    auto* strip = new ConfigSection(QStringLiteral("SECOND TICKER"));
    strip->addRow(new ConfigRow(QStringLiteral("Show second ticker"), m_enabled));
    strip->addRow(new ConfigRow(QStringLiteral("Mix"), m_mix));
    strip->addRow(new ConfigRow(QStringLiteral("Speed"), m_speed));
    strip->addRow(new ConfigRow(QStringLiteral("Size"), m_size));
    strip->addRow(new ConfigRow(QStringLiteral("Background"), m_background));
    column->addWidget(strip);
}

bool SecondTickerTab::eventFilter(QObject* watched, QEvent* event)
{
    // Later, not now: the picker reports the user's choice only after its
    // list has gone.
    if (event->type() == QEvent::Hide && watched == m_mix->view()->window())
        QTimer::singleShot(0, this, &SecondTickerTab::updateMixOptions);
    return QWidget::eventFilter(watched, event);
}

void SecondTickerTab::updateMixOptions()
{
    QList<StripOption<QString>> options = StripOptions::stripMixOptions(m_store.items());
    if (sameOptions(options, m_mixOptions) || m_mix->view()->isVisible())
        return;
    m_mixOptions = std::move(options);
    const QSignalBlocker block(m_mix);
    m_mix->clear();
    for (const auto& option : m_mixOptions)
        m_mix->addItem(option.label);
    showMix();
}

// The stored mix; a value no option has (a category whose headlines are
// gone) shows none and stays stored.
void SecondTickerTab::showMix()
{
    const QString mix = reader(m_defaults, &StripConfig::mix)();
    int found = -1;
    for (qsizetype i = 0; i < m_mixOptions.size() && found < 0; ++i)
        if (m_mixOptions[i].value == mix)
            found = int(i);
    m_mix->setCurrentIndex(found);
}
