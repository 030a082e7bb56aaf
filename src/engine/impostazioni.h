#pragma once

#include <QString>

// The settings section of an executable: its file name without folder and
// extension, in lower case but for the first letter (ABC.EXE gives Abc).
QString nomeSezione(const QString &eseguibile);

// Booleans are stored as True or False and read back without regard to
// letter case; any other text reads as false.
QString testoBooleano(bool valore);
bool booleanoDaTesto(const QString &testo);

// False when the remembered settings cannot be read at all.
bool impostazioniLeggibili();

// The remembered settings of the program, in the given section.
QString leggiImpostazione(
    const QString &sezione, const QString &chiave, const QString &predefinito);
void scriviImpostazione(const QString &sezione, const QString &chiave, const QString &valore);
