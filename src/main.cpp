#include "platform/textlocale.h"
#include "terminal/riga.h"
#include "window/form1.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    platform::useUtf8Characters();
    // With arguments the program works in the terminal, with no display.
    if (argc > 1)
        return eseguiRigaDiComando(argc, argv);
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
