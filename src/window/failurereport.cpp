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

std::function<Answer(const QString &)> &questionSink()
{
    static std::function<Answer(const QString &)> sink;
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

Answer ask(QWidget *parent, const QString &question)
{
    if (questionSink())
        return questionSink()(question);
    QMessageBox box(QMessageBox::Question, Title, question, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(QStringLiteral("Sì"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    box.setEscapeButton(box.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole));
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes ? Answer::Yes
        : box.clickedButton() == no   ? Answer::No
                                      : Answer::Cancel;
}

void setFailureSink(std::function<void(const QString &)> sink)
{
    failureSink() = std::move(sink);
}

void setQuestionSink(std::function<Answer(const QString &)> sink)
{
    questionSink() = std::move(sink);
}

} // namespace desktop
