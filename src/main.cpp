#include "platform/textlocale.h"
#include "terminal/riga.h"
#include "window/apertura.h"

int main(int argc, char *argv[])
{
    // Before Qt, which reads the locale as it starts.
    platform::useUtf8Characters();
    // With arguments the program works in the terminal, with no display.
    if (argc > 1)
        return eseguiRigaDiComando(argc, argv);
    return apriFinestra(argc, argv);
}
