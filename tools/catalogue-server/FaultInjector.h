#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <mutex>
#include <optional>
#include <random>

// The fault mode of the sample server: answers a share of GET requests with
// one of the faults a real server or network produces, chosen at random from
// a seed so that a run can be repeated.
class FaultInjector {
public:
    enum class Fault {
        Status500,        // 500 with a short text body
        Status503,        // 503 with Retry-After
        Status429,        // 429 with Retry-After
        ClosedConnection, // the connection closes right after the headers
        TruncatedBody,    // half of the promised body, then the connection closes
        MalformedJson,    // 200 with a broken JSON document
        StalledBody,      // half of the body, then nothing until the server stops
        NotModifiedUnknownTag,  // 304 although no (or another) ETag was asked about
    };
    static constexpr int kFaultCount = 8;

    // `share` of the requests (0..1) get a fault; none when share is 0.
    FaultInjector(double share, quint64 seed);

    // The fault for the next request, or nothing: it is answered normally.
    std::optional<Fault> next();

    // "500", "503", "429", "close", "truncate", "malformed", "stall", "304".
    static QString name(Fault fault);
    // The broken form of a JSON body: its first half and a stray brace.
    static QByteArray malformed(const QByteArray& body);

private:
    double m_share;
    std::mutex m_mutex;
    std::mt19937_64 m_random;
};
