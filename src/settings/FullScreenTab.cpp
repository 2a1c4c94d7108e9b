#include "settings/FullScreenTab.h"

#include "platform/storage/Defaults.h"
#include "platform/x11/ScreenNumbers.h"
#include "platform/storage/SettingsCatalogue.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsKit.h"
#include "ticker/StripServices.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace SettingsKit;

FullScreenTab::FullScreenTab(FeedStore& store, QWidget* parent, Defaults* defaults) : QWidget(parent)
{
    Defaults& d = defaults ? *defaults : Defaults::standard();
    FeedStore* s = &store;
    m_open = button(QStringLiteral("Open Full Screen"), this, [s] { StripServices::installed().showFullScreen(*s); });
    m_monitor = valueLabel(this);
    auto update = [this, &d] { m_monitor->setText(boardScreenName(d)); };
    follow(d, {Settings::preferredMonitor.key.toString()}, m_monitor, update);
    connect(qGuiApp, &QGuiApplication::screenAdded, m_monitor, update);
    connect(qGuiApp, &QGuiApplication::screenRemoved, m_monitor, update);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, m_monitor, update);
    auto* leave = valueLabel(this);
    leave->setText(QStringLiteral("Press Escape to leave the board."));

    QVBoxLayout* column = makePage(this);
    auto* board = new ConfigSection(QStringLiteral("FULL SCREEN"));
    board->addRow(new ConfigRow(QStringLiteral("Board"), m_open));
    board->addRow(new ConfigRow(QStringLiteral("Monitor"), m_monitor));
    board->addRow(new ConfigRow(QStringLiteral("Leaving"), leave));
    column->addWidget(board);
    auto* note = noteLabel(this);
    note->setText(QStringLiteral("The board uses the monitor chosen in the Ticker tab."));
    column->addWidget(note);
}

QString FullScreenTab::boardScreenName(const Defaults& defaults)
{
    QScreen* screen = ScreenNumbers::screenForMonitorID(Settings::preferredMonitor.read(defaults));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::screens().first();
    return screen ? screen->name() : QStringLiteral("No screen");
}
