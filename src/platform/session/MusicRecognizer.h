#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

// Recognises music heard through the microphone. Linux has no such service:
// the system recogniser answers every start() with unavailable(). The
// interface stays so the room listener can be driven by another recogniser.
// Main thread only; every report arrives from the event loop, never inside
// the call that caused it.
class MusicRecognizer : public QObject {
    Q_OBJECT
public:
    struct Match {
        QString artist;
        QString title;
        std::optional<QUrl> artworkURL;
        friend bool operator==(const Match&, const Match&) = default;
    };

    // The reason the system recogniser gives.
    static inline const QString UnavailableText =
        QStringLiteral("Music recognition is not available on Linux");

    using QObject::QObject;

    // Starts listening: listeningChanged(true), then a matched() per song
    // recognised, or unavailable() when it cannot listen at all.
    virtual void start() = 0;
    // Stops listening; listeningChanged(false) when it was listening.
    virtual void stop() = 0;
    virtual bool isListening() const = 0;
    // Whether start() can ever listen; a recogniser that cannot answers
    // every start() with unavailable().
    virtual bool isAvailable() const { return true; }

    // The recogniser of this system: one that is always unavailable.
    static std::unique_ptr<MusicRecognizer> createSystem();
    // Whether the system recogniser can listen (never on Linux).
    static bool isSystemAvailable();

Q_SIGNALS:
    void listeningChanged(bool listening);
    void matched(const MusicRecognizer::Match& match);
    void unavailable(const QString& reason);
};

// The recogniser on Linux: start() reports unavailable(UnavailableText).
class UnavailableMusicRecognizer final : public MusicRecognizer {
    Q_OBJECT
public:
    using MusicRecognizer::MusicRecognizer;
    void start() override;
    void stop() override {}
    bool isListening() const override { return false; }
    bool isAvailable() const override { return false; }
};

// Test double: listens at once on start(); hear() reports a match.
class FakeMusicRecognizer final : public MusicRecognizer {
    Q_OBJECT
public:
    using MusicRecognizer::MusicRecognizer;
    void start() override;
    void stop() override;
    bool isListening() const override { return m_listening; }
    void hear(const Match& match) { Q_EMIT matched(match); }
    int starts = 0;
    int stops = 0;

private:
    bool m_listening = false;
};
