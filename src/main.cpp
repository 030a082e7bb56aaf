#include "platform/textlocale.h"
#include "terminal/riga.h"
#include "window/apertura.h"

int main(int argc, char *argv[])
{
    // Before Qt, which reads the locale as it starts.
    platform::useUtf8Characters();
    if (perLaFinestra(argc, argv))
        return apriFinestra(argc, argv);
    // Commands work in the terminal, with no display.
    return eseguiRigaDiComando(argc, argv);
}
