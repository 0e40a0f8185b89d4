#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// The longest stall of the window's event loop a transfer may cause. The
// sanitized builds run several times slower. On a machine busy with other
// work a 10 ms pause of the wait loop now and then lasts 100 ms or more, so a
// test repeats its run once before it calls a stall the program's own: a
// transfer that holds the window holds it every time.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr qint64 kMaxStallMs = 300;
#else
constexpr qint64 kMaxStallMs = 100;
#endif

// A 20 ms timer on the window's thread that remembers the longest gap between
// two of its ticks: an event loop frozen by a transfer shows as a long gap.
// `counting` (when given) limits the watch to the moments it answers true.
class TickWatch {
public:
    explicit TickWatch(std::function<bool()> counting = {}) : m_counting(std::move(counting)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start(20);
    }

    int ticks() const { return m_ticks; }
    qint64 longestGapMs() const { return m_longestGapMs; }

private:
    void tick() {
        if (m_counting && !m_counting()) {
            m_last.invalidate();
            return;
        }
        if (m_last.isValid())
            m_longestGapMs = qMax(m_longestGapMs, m_last.elapsed());
        m_last.start();
        ++m_ticks;
    }

    std::function<bool()> m_counting;
    QTimer m_timer;
    QElapsedTimer m_last;
    int m_ticks = 0;
    qint64 m_longestGapMs = 0;
};
