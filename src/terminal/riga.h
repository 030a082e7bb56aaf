#pragma once

// The terminal front end: copia, sposta, verifica and annulla, from the
// arguments of the program, under a QCoreApplication and without a display.
// Returns the exit status: 0 when every file is done (a card verified safe to
// format), 1 when a run stopped at a file or was refused (a card not safe),
// 2 for wrong use.
int eseguiRigaDiComando(int argc, char **argv);
