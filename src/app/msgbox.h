#pragma once

#include <QString>

class QWidget;

// Modal prompts of the viewer. Flags and answers keep the vendor's numeric
// values (0 OK, 1 OK and Cancel, +32 question icon; OK answers 1).
namespace MsgBox {

enum Flags { OkOnly = 0, OkCancel = 1, Question = 32 };
enum Answer { Ok = 1, Cancel = 2 };

// Shows a modal box and returns the answer. Escape and the title-bar close
// button answer Cancel when there is one, OK otherwise. Once the program is
// ending nothing is shown and the answer is Cancel.
int show(QWidget *parent, const QString &text, int flags, const QString &title);

// Set when the user has confirmed quitting: handlers still unwinding from a
// nested wait must not open new boxes or start new work.
void setProgramEnding();
bool programEnding();

} // namespace MsgBox
