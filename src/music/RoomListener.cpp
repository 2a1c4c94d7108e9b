#include "music/RoomListener.h"

#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "store/FeedStore.h"

RoomListener::RoomListener(Defaults& defaults, std::unique_ptr<MusicRecognizer> recognizer, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_recognizer(std::move(recognizer))
{
    connect(m_recognizer.get(), &MusicRecognizer::listeningChanged, this, [this](bool listening) {
        if (!m_started)
            return;
        if (listening && m_state == State::Starting)
            setState(State::Listening);
        else if (!listening && m_state == State::Listening)
            setState(State::Off);
        setStoreListening(listening && m_state == State::Listening);
    });
    connect(m_recognizer.get(), &MusicRecognizer::unavailable, this, [this](const QString& reason) {
        if (!m_started || m_state == State::Off)
            return;
        m_reason = reason;
        qCInfo(lcNowPlaying).noquote() << "room listening unavailable:" << reason;
        setState(State::Unavailable);
        setStoreListening(false);
    });
    connect(m_recognizer.get(), &MusicRecognizer::matched, this, [this](const MusicRecognizer::Match& match) {
        if (m_state != State::Listening || !m_store || match.artist.trimmed().isEmpty())
            return;
        const QString artist = match.artist.trimmed();
        const QString title = match.title.trimmed();
        m_store->setNowPlaying(artist, title.isEmpty() ? artist : title, match.artworkURL);
    });
}

RoomListener::~RoomListener() = default;

RoomListener& RoomListener::shared()
{
    static RoomListener* instance = new RoomListener(Defaults::standard(), MusicRecognizer::createSystem());
    return *instance;
}

void RoomListener::start(FeedStore& store)
{
    if (m_started)
        return;
    m_started = true;
    m_store = &store;
    connect(&m_defaults, &Defaults::changed, this, &RoomListener::onSettingChanged);
    apply(m_defaults.boolValue(EnabledKey, EnabledDefault));
}

void RoomListener::onSettingChanged(const QString& key)
{
    if (key == EnabledKey)
        apply(m_defaults.boolValue(EnabledKey, EnabledDefault));
}

void RoomListener::apply(bool enabled)
{
    if (enabled) {
        if (m_state == State::Starting || m_state == State::Listening)
            return;
        m_reason.clear();
        setState(State::Starting);
        m_recognizer->start();
        return;
    }
    if (m_state == State::Off)
        return;
    m_reason.clear();
    setState(State::Off);
    m_recognizer->stop();
    setStoreListening(false);
}

void RoomListener::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void RoomListener::setStoreListening(bool listening)
{
    if (m_store)
        m_store->setRoomListening(listening);
}
