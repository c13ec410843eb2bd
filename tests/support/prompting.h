#pragma once

// Stand-ins for the user and the start-page store, for tests with and
// without a display: the one way tests answer questions.

#include "homepage/startpagestore.h"
#include "prompt/prompt.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

// An in-memory start-page store shared by every store the factory makes, so
// a test sees what the code wrote.
struct MemoryStartPage {
    std::optional<QString> value;
    bool readable = true;
    bool writable = true;
    int reads = 0;
    int writes = 0;
    int creations = 0;
    bool creatable = true;
};

class MemoryStore : public StartPageStore {
public:
    explicit MemoryStore(std::shared_ptr<MemoryStartPage> s) : m_s(std::move(s)) { }
    std::optional<QString> read() override
    {
        ++m_s->reads;
        if (!m_s->readable)
            return std::nullopt;
        return m_s->value;
    }
    bool write(const QString &text) override
    {
        ++m_s->writes;
        if (!m_s->writable)
            return false;
        m_s->value = text;
        return true;
    }

private:
    std::shared_ptr<MemoryStartPage> m_s;
};

inline StartPageStoreFactory memoryStoreFactory(std::shared_ptr<MemoryStartPage> s)
{
    return [s]() -> std::unique_ptr<StartPageStore> {
        ++s->creations;
        if (!s->creatable)
            return nullptr;
        return std::make_unique<MemoryStore>(s);
    };
}

// The user as a script: every question is recorded and answered, later, as
// a user would, with the next queued answer (OK when none is queued). With
// hold set, questions wait until the test answers them.
struct PromptScript {
    QList<Question> asked;
    QList<Answer> answers;
    bool hold = false;
    // Runs as each question is asked, before it is answered.
    std::function<void(const Question &)> onAsk;

    struct Pending {
        QPointer<QObject> context;
        std::function<void(Answer)> answered;
    };
    QList<Pending> pending;

    QStringList texts() const
    {
        QStringList t;
        for (const Question &q : asked)
            t << q.text;
        return t;
    }
    // Answers the oldest open question; false when none is open.
    bool answer(Answer a)
    {
        if (pending.isEmpty())
            return false;
        const Pending p = pending.takeFirst();
        if (p.context)
            p.answered(a);
        return true;
    }
};

class FakePrompt : public Prompt {
public:
    explicit FakePrompt(std::shared_ptr<PromptScript> script) : m_script(std::move(script)) { }
    void ask(
        const Question &question, QObject *context, std::function<void(Answer)> answered) override
    {
        m_script->asked << question;
        if (m_script->onAsk)
            m_script->onAsk(question);
        m_script->pending.append({context, std::move(answered)});
        if (m_script->hold)
            return;
        const Answer a = m_script->answers.isEmpty() ? Answer::Ok : m_script->answers.takeFirst();
        std::weak_ptr<PromptScript> weak = m_script;
        QTimer::singleShot(0, context, [weak, a] {
            if (auto s = weak.lock())
                s->answer(a);
        });
    }

private:
    std::shared_ptr<PromptScript> m_script;
};
