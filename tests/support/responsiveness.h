#pragma once

// How long an event posted to the window's thread waits before it runs,
// sampled every 100 ms from a thread of the probe's own for as long as it
// lives: the window answering, as a user feels it.

#include <QCoreApplication>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class ResponsivenessProbe {
public:
    ResponsivenessProbe()
    {
        using namespace std::chrono_literals;
        m_sampler = std::thread([s = m_state] {
            std::unique_lock<std::mutex> lock(s->mutex);
            while (!s->stop) {
                const auto posted = std::chrono::steady_clock::now();
                QMetaObject::invokeMethod(qApp, [s, posted] {
                    const std::lock_guard<std::mutex> guard(s->mutex);
                    s->waits.append((std::chrono::steady_clock::now() - posted) / 1ms);
                });
                s->wake.wait_for(lock, 100ms, [&] { return s->stop; });
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
    // In ms, of each sample that ran so far.
    QList<qint64> waits() const
    {
        const std::lock_guard<std::mutex> guard(m_state->mutex);
        return m_state->waits;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;
        QList<qint64> waits;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    std::thread m_sampler;
};
