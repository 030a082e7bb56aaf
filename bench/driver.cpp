// Drives the real window offscreen for the benchmark: one run of Copia,
// Sposta or the running-number scan, timed inside the process.
//
//   copia-bench copy|move SOURCE DESTINATION   every file of SOURCE, by name
//   copia-bench scan DESTINATION               a run with nothing selected
//
// Prints the seconds the click took and the peak resident memory in KiB.

#include "app/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>

#include <cstdio>
#include <sys/resource.h>

namespace {

void setText(Form1 &form, const char *name, const QString &text)
{
    form.findChild<QLineEdit *>(QLatin1String(name))->setText(text);
}

QString slashed(const QString &folder)
{
    return QDir(folder).absolutePath() + QLatin1Char('/');
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (!(args.size() == 4 && (mode == QLatin1String("copy") || mode == QLatin1String("move")))
        && !(args.size() == 3 && mode == QLatin1String("scan"))) {
        std::fprintf(
            stderr, "usage: copia-bench copy|move SOURCE DESTINATION | scan DESTINATION\n");
        return 2;
    }

    Form1 form;
    form.show();
    const QString destination = slashed(args.last());
    QStringList names;
    if (mode != QLatin1String("scan")) {
        const QString source = slashed(args.at(2));
        names = QDir(source).entryList(QDir::Files, QDir::Name);
        setText(form, "SrcPath", source);
    } else {
        setText(form, "SrcPath", destination);
    }
    setText(form, "DestPath", destination);
    setText(form, "NomeBase", QStringLiteral("Img_"));
    form.stato().ElencoFile = QStringList { QString() } + names;
    form.stato().NumFile = int(names.size());

    const char *button = mode == QLatin1String("move") ? "Sposta" : "Copia";
    QElapsedTimer timer;
    timer.start();
    form.findChild<QAbstractButton *>(QLatin1String(button))->click();
    const double seconds = timer.nsecsElapsed() / 1e9;

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.4f %ld\n", seconds, usage.ru_maxrss);
    return 0;
}
