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

// Asks the user before anything is done: a modal box over parent with «Sì»,
// the default, «No» and «Annulla», which Escape and closing the box answer.
Answer ask(QWidget *parent, const QString &question);

// Tests collect the text instead of showing a box; an empty sink restores the box.
void setFailureSink(std::function<void(const QString &)> sink);
// Tests answer a question instead of the user; an empty sink restores the box.
void setQuestionSink(std::function<Answer(const QString &)> sink);

} // namespace desktop
