#pragma once

#include "terminal/argomenti.h"
#include "terminal/sorgenti.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

struct Avanzamento;
struct EsitoAnnulla;
struct PianoTrasferimento;
struct Verifica;

// Writes the text at once: the line of a run in progress shows as it goes,
// and what goes to both streams keeps its order.
void scrivi(std::FILE *flusso, const QByteArray &testo);
void scrivi(std::FILE *flusso, const QString &testo);

// A report on standard error, line by line as the engine wrote it.
void segnala(const QString &testo);

// A run refused before any file is touched, its trial too: the report, and
// for a script the same in JSON.
void scriviRifiuto(const Argomenti &argomenti, const QString &motivo);

// The trial: the plan as it would run, one line or one JSON entry a file.
void scriviProva(const Argomenti &argomenti, const PianoTrasferimento &piano, const NomiDati &nomi);

// The line on standard error that tells how far the run has gone, over the
// one before; and its clearing once the run is over.
void scriviAvanzamento(
    const PianoTrasferimento &piano, const Avanzamento &avanzamento, qint64 millisecondi);
void cancellaAvanzamento();

// The end of a run: on standard error why it stopped, the engine's warnings,
// on a terminal how many photos in how long, and the doubles skipped; for a
// script the whole outcome in JSON.
void scriviEsitoCorsa(const Argomenti &argomenti, const PianoTrasferimento &piano,
    const NomiDati &nomi, const Avanzamento &avanzamento, const QString &errore,
    qint64 millisecondi);

// The end of a card's verification: the verdict on standard output, or why
// it failed on standard error; for a script the whole outcome in JSON.
void scriviEsitoVerifica(const Argomenti &argomenti, const Verifica &verifica,
    const QString &errore, qint64 millisecondi);

// What an undo did, or would do: its lines, or for a script the same in JSON;
// where it had to leave files, how to keep them and go on.
void scriviEsitoAnnulla(const Argomenti &argomenti, const EsitoAnnulla &esito);
