#pragma once

#include "platform/filestamps.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace platform {
struct HiddenFile;
}

// The journal of every run, window and terminal alike, kept under
// $XDG_STATE_HOME/copia-e-rinomina/ (by default ~/.local/state/...), one file
// a run, numbered in the order the runs started; the last 50 are kept.
//
// What a run is about to do is an intent, and is never acted on: only what
// the run recorded after it happened (a file published, with what it then
// is; an original deleted; a time set) lets a later start or an undo touch a
// file, and only while that file is still exactly what was recorded.

// One file of a run, as the journal holds it.
struct VoceGiornale
{
    // The file's position in the plan.
    int posizione = 0;
    // A copy in the backup folder of the file at that position: always a
    // copy of the original, in a move too, recorded in lines of its own.
    bool riserva = false;
    QString origine;
    QString nuovoNome;
    bool spostato = false;
    qint64 dimensione = 0;
    // The XXH3-128 hash of the original's content, in hex; empty for a rename.
    QByteArray hash;
    // That of the copy, where a correction of its capture dates made it
    // differ; else empty.
    QByteArray hashCopia;
    // That of the content with its capture-date fields blanked: one for the
    // original and its copy, whatever their dates.
    QByteArray hashSenzaDate;
    // The original's modification time in nanoseconds since 1970, which an
    // undo gives it back; none where it could not be read.
    std::optional<qint64> oraOriginale;
    // The time the new file gets: the corrected one, if a correction applies.
    std::optional<qint64> oraNuova;
    // The original as it was read, or, for a rename, as it was before.
    std::optional<platform::FileStamp> sorgente;
};

// Writes one run's journal as it goes. Made by eseguiPiano. Nothing it does
// throws or stops the run; what it could not record, nonRegistratoDa tells.
class Giornale
{
public:
    explicit Giornale(int totale);
    // Closes the journal, saying that it holds the whole run.
    ~Giornale();
    Giornale(const Giornale &) = delete;
    Giornale &operator=(const Giornale &) = delete;

    // Records the intent of files about to be published.
    void registra(const QList<VoceGiornale> &voci);
    // Records that the file is published under its new name, as it now is:
    // in the destination, or with riserva in the backup folder.
    void pubblicato(int posizione, const QString &nuovoNome, bool riserva = false);
    // Records that the original of a moved file is deleted.
    void originaleEliminato(int posizione);
    // Records the new file as it is once its time and attributes are final.
    void completato(int posizione, const QString &nuovoNome, bool riserva = false);
    // Records the hidden files a file's copies are written into as soon as
    // they are made, while the proof of the files before may record theirs.
    // They help clear what a kill leaves and are no facts of the run: one
    // that cannot be recorded is left to the clean-up of strangers' files.
    void nascoste(int posizione, const QList<platform::HiddenFile> &file);
    // Records a folder the run made for the file at posizione, once made: an
    // undo removes it again once empty.
    void cartellaFatta(int posizione, const QString &cartella, const platform::FileStamp &impronta);

    // The first position whose facts the journal could not hold, from which
    // the run cannot be undone; -1 while it holds them all.
    int nonRegistratoDa() const;
    // Why, in the system's words.
    QString motivo() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The folder of the journals: $XDG_STATE_HOME/copia-e-rinomina, by default
// ~/.local/state/copia-e-rinomina.
QString cartellaGiornali();

// What a front end says at the end of a run whose journal failed at the
// file at posizione of the plan, whose original is origine.
QString avvisoGiornale(const QString &origine, int posizione, const QString &motivo);
