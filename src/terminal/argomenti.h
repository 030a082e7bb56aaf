#pragma once

#include "engine/piano.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How the program is called: for the help, and after a wrong use.
extern const QString Uso;

// Wrong use of the command line: what is wrong.
struct UsoSbagliato
{
    QString motivo;
};

// What the arguments ask for.
struct Argomenti
{
    QString comando;
    // As given; each becomes a path of the program's form.
    QStringList sorgenti;
    QString destinazione;
    // Empty for none.
    QString riserva;
    std::optional<QString> nome;
    std::optional<bool> perNome;
    QList<Correzione> correzioni;
    // The card mounted takes the place of the sources (see prendiLaScheda()).
    bool scheda = false;
    bool senzaEstensione = false;
    bool sottocartelle = false;
    bool saltaDoppioni = false;
    // copia reads each source twice, as sposta does.
    bool verifica = false;
    CartellePerData cartellePerData = CartellePerData::Nessuna;
    bool prova = false;
    bool json = false;
    // annulla keeps what it must leave, and closes the run.
    bool tieni = false;
};

// What the program does, its options and examples, for --help.
QString testoAiuto();

// The command line, the program's name first. aiuto or versione is set when
// it asks for the help or the version, and then nothing else is read.
// Throws UsoSbagliato.
Argomenti leggiArgomenti(const QStringList &argomenti, bool &aiuto, bool &versione);
