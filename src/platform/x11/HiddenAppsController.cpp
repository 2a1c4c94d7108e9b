#include "platform/x11/HiddenAppsController.h"

#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"

namespace {
const QString kHiddenForKey = QStringLiteral("hiddenForBundleIDs");
}

HiddenAppsController::HiddenAppsController(Defaults& defaults, FrontAppMonitor& monitor, QObject* parent)
    : QObject(parent),
      m_defaults(defaults),
      m_stored(defaults, kHiddenForKey, lcPlatform, kMaxApps),
      m_monitor(monitor),
      m_bundleIDs(m_stored.readTexts())
{
    connect(&m_monitor, &FrontAppMonitor::frontAppChanged, this,
            [this](const std::optional<QString>& appClass) { evaluate(appClass); });
    evaluate(m_monitor.frontApp());
}

HiddenAppsController& HiddenAppsController::shared()
{
    static auto* instance = new HiddenAppsController(Defaults::standard(), FrontAppMonitor::system());
    return *instance;
}

void HiddenAppsController::add(const QString& appClass)
{
    if (appClass.isEmpty() || m_bundleIDs.contains(appClass))
        return;
    // What is written must read back: the list never grows past what is read.
    if (m_bundleIDs.size() >= kMaxApps) {
        qCInfo(lcPlatform).noquote() << "Not hiding the strip for" << appClass << "too: the list already holds the"
                                     << kMaxApps << "applications it keeps";
        return;
    }
    m_bundleIDs.append(appClass);
    Q_EMIT bundleIDsChanged();
    save();
    evaluate(m_monitor.frontApp());
}

void HiddenAppsController::remove(const QString& appClass)
{
    m_bundleIDs.removeAll(appClass);
    Q_EMIT bundleIDsChanged();
    save();
    evaluate(m_monitor.frontApp());
}

QList<HiddenAppsController::RunningApp> HiddenAppsController::runningApps() const
{
    return m_monitor.runningApps();
}

void HiddenAppsController::setStripHook(std::function<void(bool hidden)> hook)
{
    m_hook = std::move(hook);
    if (m_suppressed && m_hook)
        m_hook(true);
}

void HiddenAppsController::evaluate(const std::optional<QString>& appClass)
{
    if (!appClass)
        return;
    // Our own windows (the settings, the search) never change the state.
    if (*appClass == FrontAppMonitor::ownAppClass())
        return;
    // The desktop in front (an empty class) is no listed application.
    const bool hidden = !appClass->isEmpty() && m_bundleIDs.contains(*appClass);
    if (hidden == m_suppressed)
        return;
    m_suppressed = hidden;
    if (m_hook)
        m_hook(hidden);
}

void HiddenAppsController::save()
{
    m_stored.aboutToReplace();
    m_defaults.setAndSave(kHiddenForKey, QJsonArray::fromStringList(m_bundleIDs));
}
