#include "settings/TickerTab.h"

#include "platform/storage/Defaults.h"
#include "platform/x11/ScreenNumbers.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsKit.h"
#include "store/FeedStore.h"
#include "ticker/StripServices.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

using namespace SettingsKit;

namespace {

void reposition()
{
    StripServices::installed().reposition();
}

} // namespace

TickerTab::TickerTab(FeedStore& store, QWidget* parent, Defaults* defaults)
    : QWidget(parent), m_store(store), m_defaults(defaults ? *defaults : Defaults::standard())
{
    Defaults& d = m_defaults;
    using namespace Settings;
    m_speed = picker<double>(
        StripOptions::speedOptions(), [&d] { return scrollSpeed.read(d); },
        [&d](double v) { scrollSpeed.write(d, v); }, d, {scrollSpeed.key.toString()}, this);
    m_size = picker<int>(
        StripOptions::sizeOptions(),
        [&d] {
            const qint64 size = tickerSize.read(d);
            return int(size == 0 ? tickerSize.fallback : size);
        },
        [&d](int v) {
            tickerSize.write(d, v);
            reposition();
        },
        d, {tickerSize.key.toString()}, this);
    m_position = picker<QString>(
        StripOptions::positionOptions(),
        [&d] { return tickerPosition.read(d) == QStringLiteral("bottom") ? QStringLiteral("bottom") : QStringLiteral("top"); },
        [&d](QString v) {
            tickerPosition.write(d, v);
            reposition();
        },
        d, {tickerPosition.key.toString()}, this);
    m_background = picker<QString>(
        StripOptions::themeOptions(), [&d] { return themeBackground.read(d); },
        [&d](QString v) { themeBackground.write(d, v); }, d, {themeBackground.key.toString()}, this);
    m_mix = picker<QString>(
        StripOptions::mixOptions(), [&d] { return feedMix.read(d); }, [&d](QString v) { feedMix.write(d, v); }, d,
        {feedMix.key.toString()}, this);

    m_monitor = new QComboBox(this);
    connect(m_monitor, &QComboBox::activated, this, [this](int index) {
        Settings::preferredMonitor.write(m_defaults, m_monitor->itemData(index).toString());
        reposition();
    });
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &TickerTab::fillMonitors);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &TickerTab::fillMonitors);
    fillMonitors();
    follow(d, {preferredMonitor.key.toString()}, m_monitor, [this] { showMonitor(); });

    m_opacity = new QSlider(Qt::Horizontal, this);
    m_opacity->setRange(0, 100);
    m_opacity->setSingleStep(5);
    m_opacity->setPageStep(10);
    m_opacity->setFixedWidth(220);
    // The strip follows a drag at every step; the file is written once the
    // handle is let go (a key or a click on the groove writes at once).
    connect(m_opacity, &QSlider::valueChanged, this, [this, &d](int percent) {
        if (m_opacity->isSliderDown())
            d.set(tickerOpacity.key.toString(), percent / 100.0);
        else
            tickerOpacity.write(d, percent / 100.0);
    });
    connect(m_opacity, &QSlider::sliderReleased, this, [&d] { d.flush(); });
    follow(d, {tickerOpacity.key.toString()}, m_opacity, [this, &d] {
        const QSignalBlocker block(m_opacity);
        m_opacity->setValue(int(std::lround(std::clamp(tickerOpacity.read(d), 0.0, 1.0) * 100)));
    });

    m_alwaysOnTop = boolSwitch(alwaysOnTop, d, this, reposition);
    m_dimRead = boolSwitch(dimReadItems, d, this);
    FeedStore* s = &store;
    m_city = textField(weatherCity, d, this, [s] { s->refreshWeather(); });

    QVBoxLayout* column = makePage(this);
    auto* motion = new ConfigSection(QStringLiteral("STRIP"));
    motion->addRow(new ConfigRow(QStringLiteral("Speed"), m_speed));
    motion->addRow(new ConfigRow(QStringLiteral("Size"), m_size));
    motion->addRow(new ConfigRow(QStringLiteral("Mix"), m_mix));
    motion->addRow(new ConfigRow(QStringLiteral("Dim read items"), m_dimRead));
    column->addWidget(motion);

    auto* placement = new ConfigSection(QStringLiteral("PLACEMENT"));
    placement->addRow(new ConfigRow(QStringLiteral("Position"), m_position));
    placement->addRow(new ConfigRow(QStringLiteral("Monitor"), m_monitor));
    placement->addRow(new ConfigRow(QStringLiteral("Always on top"), m_alwaysOnTop));
    column->addWidget(placement);

    auto* look = new ConfigSection(QStringLiteral("LOOK"));
    look->addRow(new ConfigRow(QStringLiteral("Background"), m_background));
    look->addRow(new ConfigRow(QStringLiteral("Opacity"), m_opacity));
    column->addWidget(look);

    auto* weather = new ConfigSection(QStringLiteral("WEATHER"));
    weather->addRow(new ConfigRow(QStringLiteral("City"), m_city));
    column->addWidget(weather);

    const QList<QWidget*> order = {m_speed,    m_size,        m_mix,        m_dimRead, m_position,
                                   m_monitor,  m_alwaysOnTop, m_background, m_opacity, m_city};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TickerTab::fillMonitors()
{
    const QSignalBlocker block(m_monitor);
    m_monitor->clear();
    m_monitor->addItem(QStringLiteral("Automatic"), QString());
    for (QScreen* screen : QGuiApplication::screens()) {
        const QSize size = screen->geometry().size();
        m_monitor->addItem(QStringLiteral("%1 (%2 × %3)")
                               .arg(screen->name(), QString::number(size.width()), QString::number(size.height())),
                           QString::number(ScreenNumbers::screenNumber(screen)));
    }
    showMonitor();
}

// A stored monitor that is not attached shows as no choice; the setting
// itself is kept for when it returns.
void TickerTab::showMonitor()
{
    const QString chosen = Settings::preferredMonitor.read(m_defaults);
    int found = -1;
    for (int i = 0; i < m_monitor->count() && found < 0; ++i)
        if (m_monitor->itemData(i).toString() == chosen)
            found = i;
    m_monitor->setCurrentIndex(found < 0 ? 0 : found);
}
