#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// A small deterministic generator (splitmix64). The sample data must be the
// same for the same seed on every machine and library version, which rules
// out the standard distributions.
class SampleRandom {
public:
    explicit SampleRandom(quint64 seed) : m_state(seed) {}
    // A generator for one named thing (a feed, a slot, a city) under `seed`.
    SampleRandom(quint64 seed, const QString& name, qint64 index = 0)
        : m_state(seed ^ mix(hashOf(name) + quint64(index) * 0x9E3779B97F4A7C15ull))
    {
    }

    quint64 next()
    {
        m_state += 0x9E3779B97F4A7C15ull;
        return mix(m_state);
    }
    // Uniform in [0, bound); 0 when bound <= 0.
    int below(int bound) { return bound <= 0 ? 0 : int(next() % quint64(bound)); }
    // Uniform in [low, high].
    int between(int low, int high) { return low + below(high - low + 1); }
    // Uniform in [0, 1).
    double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double between(double low, double high) { return low + (high - low) * unit(); }
    bool chance(double probability) { return unit() < probability; }

    template <class T>
    const T& pick(const QList<T>& list)
    {
        return list.at(below(int(list.size())));
    }

    static quint64 hashOf(const QString& text)
    {
        quint64 h = 0xcbf29ce484222325ull;  // FNV-1a over UTF-16 code units
        for (QChar c : text) {
            h ^= c.unicode();
            h *= 0x100000001b3ull;
        }
        return h;
    }

private:
    static quint64 mix(quint64 z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    quint64 m_state;
};
