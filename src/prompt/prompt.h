#pragma once

#include <QObject>
#include <QString>

#include <functional>

// A question put to the user: a text, a title, OK alone or OK and Cancel,
// and optionally the question-mark icon.
struct Question {
    enum class Buttons { Ok, OkCancel };
    QString text;
    QString title;
    Buttons buttons = Buttons::Ok;
    bool questionIcon = false;

    friend bool operator==(const Question &a, const Question &b)
    {
        return a.text == b.text && a.title == b.title && a.buttons == b.buttons
            && a.questionIcon == b.questionIcon;
    }
};

// Escape and the title bar's close button answer Cancel where there is one,
// OK otherwise.
enum class Answer { Ok, Cancel };

// Puts questions to the user without waiting for the answer: answered runs
// later, once the user has answered, and never when context is gone by then
// (the program ended meanwhile, say).
class Prompt {
public:
    virtual ~Prompt() = default;
    virtual void ask(
        const Question &question, QObject *context, std::function<void(Answer)> answered)
        = 0;
};
