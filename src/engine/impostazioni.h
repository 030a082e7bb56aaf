#pragma once

#include <QHash>
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

// Each camera model's clock correction, in seconds, as remembered in the
// group Correzioni: one key a model, its correction as the account says it
// ("+1:00:00"). What cannot be read as a correction is passed over.
QHash<QString, qint64> correzioniRicordate(const QString &sezione);
// Remembers a model's correction; a zero one forgets the model.
void ricordaCorrezione(const QString &sezione, const QString &modello, qint64 correzione);
