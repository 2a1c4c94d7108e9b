#include "platform/net/PathMonitor.h"

#include "platform/base/Logging.h"

#include <QThread>

bool reachabilityIsOnline(QNetworkInformation::Reachability reachability)
{
    switch (reachability) {
    case QNetworkInformation::Reachability::Disconnected:
        return false;
    // A path to the local network only still reaches servers on it (a
    // catalogue on the LAN, a proxy): only a failed request says otherwise.
    case QNetworkInformation::Reachability::Local:
    case QNetworkInformation::Reachability::Unknown:
    case QNetworkInformation::Reachability::Site:
    case QNetworkInformation::Reachability::Online:
        return true;
    }
    return true;
}

std::unique_ptr<PathMonitor> PathMonitor::createSystem()
{
    return std::make_unique<NetworkPathMonitor>();
}

void NetworkPathMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend()) {
        qCInfo(lcPlatform) << "No network information backend; assuming the network is reachable";
        return;
    }
    QNetworkInformation* info = QNetworkInformation::instance();
    connect(info, &QNetworkInformation::reachabilityChanged, this,
            &NetworkPathMonitor::reachabilityReported);
    reachabilityReported(info->reachability());
}

void NetworkPathMonitor::reachabilityReported(QNetworkInformation::Reachability reachability)
{
    const bool online = reachabilityIsOnline(reachability);
    if (QThread::currentThread() == thread()) {
        apply(online);
        return;
    }
    QMetaObject::invokeMethod(this, [this, online] { apply(online); }, Qt::QueuedConnection);
}

void NetworkPathMonitor::apply(bool online)
{
    if (online == m_online)
        return;
    m_online = online;
    Q_EMIT onlineChanged(online);
}

void FakePathMonitor::setOnline(bool online)
{
    if (online == m_online)
        return;
    m_online = online;
    if (m_started)
        Q_EMIT onlineChanged(online);
}
