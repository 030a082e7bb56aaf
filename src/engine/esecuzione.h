#pragma once

#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

// What one run does: each file's path and new path, and how it goes there.
// The window makes it from its controls; the engine carries it out.
struct PianoTrasferimento
{
    QStringList origini;
    // At the same positions as origini.
    QStringList nuoviNomi;
    bool spostare = false;
    // A move within one file system: each file is renamed, no byte is copied.
    bool rinomina = false;
    // The clock correction; all zero leaves each file's time as it is.
    int correzioneOre = 0;
    int correzioneMinuti = 0;
    int correzioneSecondi = 0;
    // Name order leaves the last new file writable by its owner.
    bool liberaUltimo = false;
    // The file systems the folders were on when they were chosen, if known.
    std::optional<quint64> supportoOrigine;
    std::optional<quint64> supportoDestinazione;
    // Each file's size, at the positions of origini; filled in by the check.
    QList<qint64> dimensioni;
};

// How far a run has gone, for the window to read while it goes on.
struct Avanzamento
{
    std::atomic<int> fatti = 0;
    std::atomic<qint64> byte = 0;
    // Set as the run ends, when its journal could not hold all of it: which
    // files cannot be undone, to be said at the end of the run.
    QString avvisoGiornale;
};

// The drive prefix of a folder text: up to and including its first ":".
QString unita(const QString &cartella);

// Whether a move of the files into the destination renames them: each is on
// the destination's drive and file system, so that no byte is copied.
bool siRinomina(const QStringList &origini, const QString &destinazione);

// Carries out the plan on the calling thread, file by file. Each copy is read
// back from the medium and published while the next file is copied already.
// avanza hears the position of each file as it starts, and again of a file
// that fails once the next one started. ferma stops the run before the next
// file; the file in progress, and one in verification, complete whole.
// avanzamento counts the files and bytes done. Throws
// platform::FileError at the first file that fails: the files before it are
// done, those after it untouched.
void eseguiPiano(const PianoTrasferimento &piano, const std::function<void(int)> &avanza,
    const std::atomic<bool> &ferma, Avanzamento &avanzamento);
