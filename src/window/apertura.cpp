#include "window/apertura.h"

#include "window/form1.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// Those that QCoreApplication, QGuiApplication (with its X11 ones) and
// QApplication take from the arguments of any Qt program.
constexpr QByteArrayView OpzioniDiQt[] { "platform", "platformpluginpath", "platformtheme",
    "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle", "reverse", "session", "display",
    "name", "nograb", "dograb", "visual", "geometry", "icon", "title", "style", "stylesheet",
    "widgetcount", "qmljsdebugger" };

// The value after an option of Qt's, which takes "-name" and "--name" alike.
QByteArray valoreDopo(int argc, char **argv, QByteArrayView nome)
{
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArrayView argomento(argv[i]);
        if (argomento.sliced(argomento.startsWith("--") ? 1 : 0) == nome)
            return argv[i + 1];
    }
    return {};
}

} // namespace

// Qt takes "-name" and "--name" alike, and "-style=fusion" for "-style fusion".
bool perLaFinestra(int argc, char **argv)
{
    if (argc < 2)
        return true;
    QByteArrayView argomento(argv[1]);
    if (!argomento.startsWith('-'))
        return false;
    argomento = argomento.sliced(argomento.startsWith("--") ? 2 : 1);
    if (const qsizetype uguale = argomento.indexOf('='); uguale >= 0)
        argomento.truncate(uguale);
    return std::find(std::begin(OpzioniDiQt), std::end(OpzioniDiQt), argomento)
        != std::end(OpzioniDiQt);
}

bool schermoPerLaFinestra(int argc, char **argv, const QProcessEnvironment &ambiente)
{
    const auto impostata = [&](const char *nome) {
        return !ambiente.value(QLatin1String(nome)).isEmpty();
    };
    if (impostata("QT_QPA_PLATFORM") || !valoreDopo(argc, argv, "-platform").isEmpty())
        return true;
    return impostata("DISPLAY") || !valoreDopo(argc, argv, "-display").isEmpty()
        || impostata("WAYLAND_DISPLAY");
}

int apriFinestra(int argc, char **argv)
{
    if (!schermoPerLaFinestra(argc, argv, QProcessEnvironment::systemEnvironment())) {
        std::fputs("copia-e-rinomina: nessuno schermo su cui mostrare la finestra.\n"
                   "Avvialo da una sessione grafica, oppure usa i comandi del terminale:\n"
                   "  copia-e-rinomina --help\n",
            stderr);
        return 1;
    }
    QApplication app(argc, argv);
    // Lets a Wayland desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vobi.CopiaERinomina"));
    // The window speaks Italian, and so do the dialogs that Qt provides.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    QTranslator traduzioneQt;
    if (traduzioneQt.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&traduzioneQt);
    Form1 finestra;
    finestra.show();
    return app.exec();
}
