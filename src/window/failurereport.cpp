#include "window/failurereport.h"

#include <QMessageBox>
#include <QPushButton>

namespace desktop {

namespace {

// Every message box is titled with the program's name.
const QString Title = QStringLiteral("Copia e Rinomina");

std::function<void(const QString &)> &failureSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

std::function<Answer(const Question &)> &questionSink()
{
    static std::function<Answer(const Question &)> sink;
    return sink;
}

void report(QWidget *parent, const QString &text, QMessageBox::Icon icon)
{
    if (failureSink()) {
        failureSink()(text);
        return;
    }
    QMessageBox box(icon, Title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

void reportFailure(QWidget *parent, const QString &text)
{
    report(parent, text, QMessageBox::Critical);
}

void reportNotice(QWidget *parent, const QString &text)
{
    report(parent, text, QMessageBox::Information);
}

Answer ask(QWidget *parent, const Question &question)
{
    if (questionSink())
        return questionSink()(question);
    QMessageBox box(QMessageBox::Question, Title, question.text, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(question.yes, QMessageBox::YesRole);
    QPushButton *no =
        question.no.isEmpty() ? nullptr : box.addButton(question.no, QMessageBox::NoRole);
    box.setEscapeButton(box.addButton(question.cancel, QMessageBox::RejectRole));
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes     ? Answer::Yes
        : no && box.clickedButton() == no ? Answer::No
                                          : Answer::Cancel;
}

void setFailureSink(std::function<void(const QString &)> sink)
{
    failureSink() = std::move(sink);
}

void setQuestionSink(std::function<Answer(const Question &)> sink)
{
    questionSink() = std::move(sink);
}

} // namespace desktop
