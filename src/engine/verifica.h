#pragma once

#include "engine/esecuzione.h"
#include "engine/piano.h"

#include <QString>
#include <QStringList>

#include <atomic>

// What a front end asks of a card's verification, before it is formatted:
// whether every photo, video and sidecar of its folders is in the
// destination, and in the backup folder when one is given, byte for byte
// but for the capture dates a run's correction may have shifted.
struct RichiestaVerifica
{
    // The card's folders, as whole paths.
    QStringList cartelle;
    // Whether their subfolders are walked, as a run's walk: camera files only.
    bool sottocartelle = false;
    QString destinazione;
    // Empty for none.
    QString riserva;
    // The photos are looked for in the folders by date of the schema too.
    CartellePerData cartellePerData = CartellePerData::Nessuna;
};

// What one folder holds of a file of the card.
enum class Copia { Identica, Manca, Diversa };

// What became of one file of the card.
struct FileVerificato
{
    QString origine;
    Copia destinazione = Copia::Manca;
    // Identica where no backup folder is asked.
    Copia riserva = Copia::Identica;
    // Why the card could not read it whole, as platform::FileError says it;
    // empty where it could. Such a file is in neither folder.
    QString illeggibile;

    bool alSicuro() const
    {
        return illeggibile.isEmpty() && destinazione == Copia::Identica
            && riserva == Copia::Identica;
    }
};

// A card's verification: what preparaVerifica lists, what eseguiVerifica finds.
struct Verifica
{
    // The card's folders, the destination and the backup folder (empty for
    // none), each ending with its separator.
    QStringList cartelle;
    QString destinazione;
    QString riserva;
    CartellePerData cartellePerData = CartellePerData::Nessuna;
    // The card's files, each with its origine and dimensione only, as a
    // run's plan lists them: rigaAvanzamento and testoFatti count them as a
    // run's. A caller that knows the files already may fill it instead of
    // preparaVerifica, with the three folders above.
    PianoTrasferimento piano;
    // One for each file of the plan verified, in its order.
    QList<FileVerificato> file;
    // Stopped before its last file, as asked.
    bool fermata = false;

    // Every file of the card verified, each in every folder asked, identical.
    bool siPuoFormattare() const;
    // What the end of the verification says: «Tutti i 412 file di «…/DCIM»
    // sono nella destinazione e nella cartella di riserva, identici: la
    // scheda si può formattare.», or each file not safe, named with where,
    // and «Non formattare la scheda: …».
    QString verdetto() const;
};

// Lists the card's files and their sizes into verifica. Returns why the
// verification is refused (an empty card, a destination or backup folder
// that is missing or a file), or an empty text. Throws platform::FileError
// for a card's folder that cannot be read or is missing. Writes nothing.
QString preparaVerifica(const RichiestaVerifica &richiesta, Verifica &verifica);

// Reads each file of the card again from its medium, its cached pages
// dropped, and looks for it by content, capture dates left out, in the
// destination and the backup folder: sizes first, then the copy a run's
// journal says it made of that very file, then the others of its size, each
// read from its medium too. avanzamento counts the files and bytes of the
// card read, as a run's. ferma stops it before the next file. A file the card
// cannot read is named in its result; a card that went away, or a folder
// whose copies cannot be read, throws platform::FileError. Writes nothing.
void eseguiVerifica(Verifica &verifica, const std::atomic<bool> &ferma, Avanzamento &avanzamento);
