#include "window/failurereport.h"

#include <QMessageBox>

namespace desktop {

namespace {

std::function<void(const QString &)> &failureSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

void report(QWidget *parent, const QString &text, QMessageBox::Icon icon)
{
    if (failureSink()) {
        failureSink()(text);
        return;
    }
    QMessageBox box(icon, QStringLiteral("Copia e Rinomina"), text, QMessageBox::Ok, parent);
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

void setFailureSink(std::function<void(const QString &)> sink)
{
    failureSink() = std::move(sink);
}

} // namespace desktop
