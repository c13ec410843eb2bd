#pragma once

#include "prompt.h"

#include <QPointer>
#include <QWidget>

// Asks with Qt's own message box, modal for the whole application.
class MessageBoxPrompt : public Prompt {
public:
    explicit MessageBoxPrompt(QWidget *parent) : m_parent(parent) { }
    void ask(
        const Question &question, QObject *context, std::function<void(Answer)> answered) override;

private:
    QPointer<QWidget> m_parent;
};
