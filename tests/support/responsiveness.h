#pragma once

// How long an event posted to the window's thread waits before it runs,
// sampled every 100 ms from a thread of its own for as long as the probe
// lives: what a user feels as the window answering or not.

#include <QCoreApplication>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class ResponsivenessProbe {
public:
    explicit ResponsivenessProbe(QObject *windowThread = QCoreApplication::instance())
        : m_state(std::make_shared<State>())
    {
        m_sampler = std::thread([state = m_state, windowThread] {
            using Clock = std::chrono::steady_clock;
            std::unique_lock<std::mutex> lock(state->mutex);
            while (!state->stop) {
                const auto posted = Clock::now();
                QMetaObject::invokeMethod(
                    windowThread,
                    [state, posted] {
                        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Clock::now() - posted);
                        const std::lock_guard<std::mutex> guard(state->mutex);
                        state->samples.append(waited.count());
                    },
                    Qt::QueuedConnection);
                state->wake.wait_for(
                    lock, std::chrono::milliseconds(100), [&] { return state->stop; });
            }
        });
    }
    ~ResponsivenessProbe()
    {
        {
            const std::lock_guard<std::mutex> guard(m_state->mutex);
            m_state->stop = true;
        }
        m_state->wake.notify_all();
        m_sampler.join();
    }

    // Each answered sample's wait in ms, in order; samples still waiting are
    // not among them.
    QList<qint64> samples() const
    {
        const std::lock_guard<std::mutex> guard(m_state->mutex);
        return m_state->samples;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;
        QList<qint64> samples;
    };
    std::shared_ptr<State> m_state;
    std::thread m_sampler;
};
