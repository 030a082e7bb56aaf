#pragma once

#include <QStringList>

// What the start-up finishing or an undo did, or would do.
struct EsitoAnnulla
{
    // One line per file: taken back, finished, or left alone and why.
    QStringList righe;
    // Whether everything asked for was done.
    bool tuttoAnnullato = true;
    // An undo left files of its run behind, as it must: those it could keep.
    bool fileLasciati = false;
};

// At start-up of the window or the terminal: finishes what a killed run had
// done but not recorded as done: deletes the original of a photo confirmed
// in its new place, once both are known whole, and sets a time that a kill
// kept from being set. Lists a photo that a kill left in two places
// unconfirmed, once. Anything else is left for an undo.
EsitoAnnulla completaCorseInterrotte(bool prova = false);

// Before a run into the folders, given with their final separator: removes
// the hidden copies that runs of this user, killed and over, recorded as
// made there and left, each while it is still that very file; with prova
// only finds them. Gives the bytes they took, which the run has free, by
// folder.
QHash<QString, qint64> liberaCartelle(const QStringList &cartelle, bool prova);
