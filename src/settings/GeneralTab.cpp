#include "settings/GeneralTab.h"

#include "platform/storage/Defaults.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/session/LaunchAtLogin.h"
#include "platform/storage/SettingsCatalogue.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/FocusRing.h"
#include "settings/ListCutNotice.h"
#include "settings/RunningAppsPicker.h"
#include "settings/SettingsKit.h"
#include "store/FeedStore.h"
#include "ticker/StripServices.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsKit;

GeneralTab::GeneralTab(FeedStore& store, QWidget* parent, Defaults* defaults, HiddenAppsController* hiddenApps)
    : QWidget(parent),
      m_store(store),
      m_defaults(defaults ? *defaults : Defaults::standard()),
      m_launch(LaunchAtLogin::shared()),
      m_hiddenApps(hiddenApps ? *hiddenApps : HiddenAppsController::shared())
{
    m_startup = boolSwitch(Settings::showSettingsAtStartup, m_defaults, this);
    m_login = plainSwitch(this);
    connect(m_login, &QCheckBox::clicked, this, &GeneralTab::setLogin);
    m_loginError = noteLabel(this);
    m_loginError->hide();

    m_hidden = new QListWidget(this);
    m_hidden->setFixedSize(320, 120);
    FocusRing::attach(m_hidden, 0);  // an empty list shows no focus of its own
    m_hiddenCut = new ListCutNotice(m_hiddenApps.storedList(), QStringLiteral("application"),
                                    QStringLiteral("applications"), this);
    m_appField = new QLineEdit(this);
    m_appField->setPlaceholderText(QStringLiteral("Application class, e.g. zoom"));
    m_appField->setMinimumWidth(220);
    connect(m_appField, &QLineEdit::returnPressed, this, &GeneralTab::addTyped);
    m_add = button(QStringLiteral("Add"), this, [this] { addTyped(); });
    m_running = new RunningAppsPicker(m_hiddenApps, this);
    m_running->setMinimumWidth(220);
    m_remove = button(QStringLiteral("Remove"), this, [this] {
        if (QListWidgetItem* item = m_hidden->currentItem())
            m_hiddenApps.remove(item->text());
    });
    connect(&m_hiddenApps, &HiddenAppsController::bundleIDsChanged, this, &GeneralTab::showHiddenApps);
    showHiddenApps();

    m_reset = button(QStringLiteral("Reset to Defaults"), this, [this] { resetToDefaults(); });

    QVBoxLayout* column = makePage(this);
    auto* startup = new ConfigSection(QStringLiteral("START-UP"));
    startup->addRow(new ConfigRow(QStringLiteral("Show settings at start-up"), m_startup));
    startup->addRow(new ConfigRow(QStringLiteral("Launch at login"), m_login));
    column->addWidget(startup);
    column->addWidget(m_loginError);

    auto* typed = new QWidget;
    auto* typedRow = new QHBoxLayout(typed);
    typedRow->setContentsMargins(0, 0, 0, 0);
    typedRow->addWidget(m_appField);
    typedRow->addWidget(m_add);
    auto* hide = new ConfigSection(QStringLiteral("HIDE WHILE USING"));
    hide->addRow(new ConfigRow(QStringLiteral("Applications"), m_hidden));
    hide->addRow(m_hiddenCut);
    hide->addRow(new ConfigRow(QStringLiteral("Add by name"), typed));
    hide->addRow(new ConfigRow(QStringLiteral("Add a running app"), m_running));
    hide->addRow(new ConfigRow(QStringLiteral("Remove selected"), m_remove));
    column->addWidget(hide);

    auto* reset = new ConfigSection(QStringLiteral("RESET"));
    reset->addRow(new ConfigRow(QStringLiteral("Strip and start-up"), m_reset));
    column->addWidget(reset);

    const QList<QWidget*> order = {m_startup, m_login, m_hidden, m_appField, m_add, m_running, m_remove, m_reset};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    showLoginState();
}

void GeneralTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The registration can change outside the app (the user's autostart
    // folder), and the open windows change all the time.
    showLoginState();
    m_running->refill();
}

void GeneralTab::showLoginState()
{
    m_login->setChecked(m_launch.isEnabled());
}

void GeneralTab::setLogin(bool on)
{
    if (m_launch.setEnabled(on)) {
        Settings::launchAtLogin.write(m_defaults, on);
        m_loginError->hide();
    } else {
        m_loginError->setText(QStringLiteral("Could not change launch at login: ") + m_launch.lastError());
        m_loginError->show();
    }
    showLoginState();
}

void GeneralTab::showHiddenApps()
{
    const QString current = m_hidden->currentItem() ? m_hidden->currentItem()->text() : QString();
    m_hidden->clear();
    m_hidden->addItems(m_hiddenApps.bundleIDs());
    const auto found = m_hidden->findItems(current, Qt::MatchExactly);
    if (!found.isEmpty())
        m_hidden->setCurrentItem(found.first());
}

void GeneralTab::addTyped()
{
    const QString appClass = m_appField->text().trimmed();
    if (appClass.isEmpty())
        return;
    m_hiddenApps.add(appClass);
    m_appField->clear();
}

void GeneralTab::resetToDefaults()
{
    const QString city = Settings::weatherCity.read(m_defaults);
    SettingsCatalogue::resetToDefaults(m_defaults);
    StripServices::installed().reposition();
    if (Settings::weatherCity.read(m_defaults) != city)
        m_store.refreshWeather();
}
