#include "platform/session/MusicRecognizer.h"

#include <QTimer>

std::unique_ptr<MusicRecognizer> MusicRecognizer::createSystem()
{
    return std::make_unique<UnavailableMusicRecognizer>();
}

bool MusicRecognizer::isSystemAvailable()
{
    return false;
}

void UnavailableMusicRecognizer::start()
{
    QTimer::singleShot(0, this, [this] { Q_EMIT unavailable(UnavailableText); });
}

void FakeMusicRecognizer::start()
{
    ++starts;
    if (m_listening)
        return;
    m_listening = true;
    QTimer::singleShot(0, this, [this] {
        if (m_listening)
            Q_EMIT listeningChanged(true);
    });
}

void FakeMusicRecognizer::stop()
{
    ++stops;
    if (!m_listening)
        return;
    m_listening = false;
    Q_EMIT listeningChanged(false);
}
