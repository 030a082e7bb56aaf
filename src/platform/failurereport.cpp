#include "platform/failurereport.h"

#include <QMessageBox>

namespace platform {

namespace {

std::function<void(const QString &)> &failureSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

} // namespace

void reportFailure(QWidget *parent, const QString &text)
{
    if (failureSink()) {
        failureSink()(text);
        return;
    }
    QMessageBox::critical(parent, QStringLiteral("Copia e Rinomina"), text);
}

void reportNotice(QWidget *parent, const QString &text)
{
    if (failureSink()) {
        failureSink()(text);
        return;
    }
    QMessageBox::information(parent, QStringLiteral("Copia e Rinomina"), text);
}

void setFailureSink(std::function<void(const QString &)> sink)
{
    failureSink() = std::move(sink);
}

} // namespace platform
