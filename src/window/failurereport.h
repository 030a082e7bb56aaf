#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace desktop {

// Tells the user that an operation failed: a modal message box over parent.
void reportFailure(QWidget *parent, const QString &text);

// Tells the user what was done on their behalf: a modal message box over parent.
void reportNotice(QWidget *parent, const QString &text);

enum class Answer { Yes, No, Cancel };

// A question and its buttons, each named by what it does, with "&" before
// its Alt letter: yes is the default, cancel what Escape and closing the box
// answer; a question without no has only those two.
struct Question
{
    QString text;
    QString yes;
    QString no;
    QString cancel;
};

// Asks the user before anything is done: a modal box over parent.
Answer ask(QWidget *parent, const Question &question);

// Tests collect the text instead of showing a box; an empty sink restores the box.
void setFailureSink(std::function<void(const QString &)> sink);
// Tests answer a question instead of the user; an empty sink restores the box.
void setQuestionSink(std::function<Answer(const Question &)> sink);

} // namespace desktop
