#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// The longest stall of the window's event loop a transfer may cause. The
// sanitized builds run several times slower. On a machine busy with other
// work a 10 ms pause of the wait loop now and then lasts 100 ms or more, so a
// test repeats its run once before it calls a stall the program's own (a
// transfer that holds the window holds it every time), and the watch takes
// off what a thread that only sleeps overslept meanwhile.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr qint64 kMaxStallMs = 300;
#else
constexpr qint64 kMaxStallMs = 100;
#endif

// A 20 ms timer on the window's thread that remembers the longest gap between
// two of its ticks: an event loop frozen by a transfer shows as a long gap.
// `counting` (when given) limits the watch to the moments it answers true.
// Beside it a thread sleeps in 5 ms steps and remembers its longest
// oversleep: the machine's own pauses (a busy or paused virtual machine),
// which no program could tick through.
class TickWatch {
public:
    explicit TickWatch(std::function<bool()> counting = {}) : m_counting(std::move(counting)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start(20);
        m_sleeper = std::thread([this] {
            using namespace std::chrono;
            while (!m_stop.load()) {
                const auto before = steady_clock::now();
                std::this_thread::sleep_for(milliseconds(5));
                const qint64 over = duration_cast<milliseconds>(steady_clock::now() - before).count() - 5;
                if (over > m_machineGapMs.load())
                    m_machineGapMs.store(over);
            }
        });
    }
    ~TickWatch() {
        m_stop.store(true);
        m_sleeper.join();
    }
    TickWatch(const TickWatch&) = delete;
    TickWatch& operator=(const TickWatch&) = delete;

    int ticks() const { return m_ticks; }
    // The longest gap the program itself caused: the window's longest, less
    // the machine's longest pause meanwhile.
    qint64 longestGapMs() const { return std::max<qint64>(0, m_longestGapMs - m_machineGapMs.load()); }

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
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_machineGapMs{0};
    std::thread m_sleeper;
    QTimer m_timer;
    QElapsedTimer m_last;
    int m_ticks = 0;
    qint64 m_longestGapMs = 0;
};
