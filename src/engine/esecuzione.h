#pragma once

#include "engine/piano.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// How far a run has gone, for the window to read while it goes on.
struct Avanzamento
{
    std::atomic<int> fatti = 0;
    std::atomic<qint64> byte = 0;
    // Set as the run ends, when its journal could not hold all of it: which
    // files cannot be undone, to be said at the end of the run.
    QString avvisoGiornale;
    // The photos whose capture dates could not be corrected, copied as they
    // were: said at the end of the run.
    QStringList dateNonCorrette;
};

// What the first fatti files of the plan were and what became of them, as
// the end of a run says it: «1 foto copiata», «2 video spostati», «3 foto,
// 2 video e 1 file .xmp copiati».
QString testoFatti(const PianoTrasferimento &piano, int fatti);

// How far a run has gone, as the terminal's line and the window's bar say
// it: "21/120 · 63 MB di 360 MB · 96 MB/s · ancora 1:05"; the bytes and the
// speed only where files are copied, the time left once it is known.
QString rigaAvanzamento(
    const PianoTrasferimento &piano, const Avanzamento &avanzamento, qint64 millisecondi);

// How long a run took, as its end says it: "in 12,4 s (96 MB/s)"; the speed
// only where files were copied.
QString testoDurata(const PianoTrasferimento &piano, qint64 byte, qint64 millisecondi);

// Where the first fatti files of the plan went, as the end of a run says
// it: «in «Foto»», «in «Foto» e in «Riserva»», and with folders by date «in
// 3 cartelle per data, in «Foto»»; the folders as the front end names them,
// the backup empty for none.
QString testoDove(const PianoTrasferimento &piano, int fatti, const QString &destinazione,
    const QString &riserva);

// What the plan says of the folders the run makes, a destination that is
// not there yet or its folders by date: «La cartella «Foto/Gita» non c'è:
// sarà creata.»; empty when there are none.
QString avvisoCartelleNuove(const PianoTrasferimento &piano);

// Where the plan's doubles are, as its texts say it: «nella destinazione»,
// or, as a double is one that both hold, «nella destinazione e nella
// cartella di riserva».
QString doveIDoppioni(const PianoTrasferimento &piano);

// What the end of a run says of the sidecars chosen without their photo,
// which stay where they are; empty when there are none.
QString avvisoSenzaFoto(const PianoTrasferimento &piano);

// What the end of a run says of the files a camera writes for itself, which
// the walk of the folders left where they are; empty when there are none.
QString avvisoLasciati(const PianoTrasferimento &piano);

// What the end of a copy says when its sources were read once: how to prove
// the card against its copies before it is formatted, as come says it;
// empty after a move or a copy that read each source twice, or of nothing.
QString avvisoDaVerificare(const PianoTrasferimento &piano, int fatti, const QString &come);

// What the end of a run says of the photos whose capture dates could not be
// corrected; empty when there are none.
QString avvisoDateNonCorrette(const QStringList &origini);

// Carries out the plan on the calling thread, file by file. Each file is
// read once and written to its destination, and to the backup folder if
// any; its copies are put on their media in batches, then each read back
// and published while the next files are copied already. avanza hears the
// position of each file as it starts, and again of a file that fails once
// later ones started. ferma stops the run before the next file; the files
// written and not yet proven complete whole. avanzamento counts the files
// and bytes done, each file once. Throws platform::FileError at the first
// file that fails: the files before it are done, those after it untouched.
void eseguiPiano(const PianoTrasferimento &piano, const std::function<void(int)> &avanza,
    const std::atomic<bool> &ferma, Avanzamento &avanzamento);
