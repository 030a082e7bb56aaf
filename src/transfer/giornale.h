#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

// The journal of every run, window and terminal alike, kept under
// $XDG_STATE_HOME/copia-e-rinomina/ (by default ~/.local/state/...): for each
// file, before it is published, where it came from and went, how, its size,
// hash and times. The last 50 runs are kept. A journal that cannot be written
// never stops a run; a damaged one is read up to its last whole entry.

// One file of a run, as the journal holds it.
struct VoceGiornale
{
    // The file's position in the plan.
    int posizione = 0;
    QString origine;
    QString nuovoNome;
    bool spostato = false;
    qint64 dimensione = 0;
    // The verified XXH3-128 hash of the content, in hex; empty for a rename.
    QByteArray hash;
    QDateTime oraOriginale;
    // The time the new file gets: the corrected one, if a correction applies.
    QDateTime oraNuova;
};

// Writes one run's journal as it goes, into a file made at its first entry.
// Made by eseguiPiano. Nothing it does throws or stops the run.
class Giornale
{
public:
    Giornale();
    ~Giornale();
    Giornale(const Giornale &) = delete;
    Giornale &operator=(const Giornale &) = delete;
    // Records the file, before it is published: the entry reaches the kernel
    // at once, and the medium with every 64th entry and at the end.
    void registra(const VoceGiornale &voce);
    // Records several files at once, each before it is published.
    void registra(const QList<VoceGiornale> &voci);
    // Records that the file is done: published and, for a move, its original
    // deleted, with the stamp of its new file when named, by which an undo
    // knows it unchanged without reading it. The mark goes out with the next
    // entry, or at the end.
    void concludi(int posizione, const QString &nuovoNome = {});

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// At start-up of the window or the terminal: finishes the moves of a killed
// run whose new file is in place with the journal's size and hash, by
// deleting the original (which must still have that size and hash); leaves
// anything else for the next undo. Returns what it did, one line each.
QStringList completaCorseInterrotte();

// The folder of the journals: $XDG_STATE_HOME/copia-e-rinomina, by default
// ~/.local/state/copia-e-rinomina.
QString cartellaGiornali();

// What an undo did, or would do.
struct EsitoAnnulla
{
    // One line per file: taken back, or left alone and why.
    QStringList righe;
    bool tuttoAnnullato = true;
};

// Takes back the newest run not yet undone, in reverse order: a copy is
// deleted if it still has the journal's size and hash; a moved file goes back
// to its original name and folder with its original time, if that name is
// free. With prova, only says what it would do.
EsitoAnnulla annullaUltimaCorsa(bool prova);
