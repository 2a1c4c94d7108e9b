#include "FaultInjector.h"

FaultInjector::FaultInjector(double share, quint64 seed) : m_share(share), m_random(seed) {}

std::optional<FaultInjector::Fault> FaultInjector::next()
{
    if (m_share <= 0)
        return std::nullopt;
    std::lock_guard lock(m_mutex);  // answers run on several server threads
    if (std::uniform_real_distribution<double>(0, 1)(m_random) >= m_share)
        return std::nullopt;
    return Fault(std::uniform_int_distribution<int>(0, kFaultCount - 1)(m_random));
}

QString FaultInjector::name(Fault fault)
{
    switch (fault) {
    case Fault::Status500: return QStringLiteral("500");
    case Fault::Status503: return QStringLiteral("503");
    case Fault::Status429: return QStringLiteral("429");
    case Fault::ClosedConnection: return QStringLiteral("close");
    case Fault::TruncatedBody: return QStringLiteral("truncate");
    case Fault::MalformedJson: return QStringLiteral("malformed");
    case Fault::StalledBody: return QStringLiteral("stall");
    case Fault::NotModifiedUnknownTag: return QStringLiteral("304");
    }
    return {};
}

QByteArray FaultInjector::malformed(const QByteArray& body)
{
    return body.left(body.size() / 2) + "\x01}{";
}
