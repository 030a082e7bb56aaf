#pragma once

#include <QString>

class QWidget;
struct PianoTrasferimento;

// Shows the plan a run would carry out, as a read-only table over the
// window: each file, its new name (and whether the destination holds it
// already, which the run asks about), when it was taken, corrected, and
// where that was read, its camera and its correction; then the files that
// stay where they are, and why. Files are named below sorgente, the folder
// they were chosen in. Nothing is touched. Escape or «Chiudi» closes it.
void mostraAnteprima(QWidget *finestra, const PianoTrasferimento &piano, const QString &sorgente);
