#pragma once

#include <QString>

class QWidget;
struct PianoTrasferimento;
struct Richiesta;

// What the preview was left with: closed, or the plan shown to be copied
// or moved.
enum class Avvio { Nessuno, Copia, Sposta };

// Shows the plan a run would carry out, as a table over the window: a tick
// to leave a file out, its picture, the file, its new name, when it was
// taken, corrected, and where that was read, its camera and its correction;
// the files that stay where they are say why. The plan is the one the run
// makes from segnato, the request's plan with its doubles marked: by
// default they stay, a tick lets them go too. Each choice is kept in
// richiesta and the plan it gives in piano. Files are named below sorgente,
// the folder they were chosen in. Nothing is touched. Escape or «Chiudi»
// closes it.
Avvio mostraAnteprima(QWidget *finestra, const PianoTrasferimento &segnato, Richiesta &richiesta,
    PianoTrasferimento &piano, const QString &sorgente);
