#pragma once

#include <QLatin1StringView>
#include <QString>

// A running number as it stands in a file name: at least three digits,
// padded with leading zeros (1 gives 001, 1000 gives 1000).
QString numeroSuffisso(qint64 numero);

// "" and "_" are the base name field's empty states, and "*" gives no running
// number: none of them names files, and none is remembered.
bool nomeBaseVuoto(const QString &nome);

// Why a run refuses this base name before any file is touched: a path
// separator in it would put files outside the destination. Empty when none.
QString motivoNomeBase(const QString &nome);

// The highest running number that the folder's files of this base name carry:
// the three or more digits that follow the base name, up to the next "." or
// the end of the name; a number too large to hold counts as the largest. The
// base name is taken as it is, letter case aside: a "*" or "?" in it is a
// character like any other, not a wildcard. Throws platform::FileError when
// the folder cannot be read; a missing folder holds none.
qint64 ultimoNumero(const QString &cartella, const QString &nomeBase);

// A sidecar an editor keeps beside a photo ends so: NAME.xmp, NAME.EXT.xmp.
inline constexpr QLatin1StringView Sidecar(".xmp");
bool eSidecar(const QString &nomeFile);

// The extension a file's new name takes: from the first "." of its name, in
// lower case; none where it has no ".". Without extensions, none but a
// sidecar's ".xmp", by which editors find it beside its photo.
QString estensioneNuova(const QString &nomeFile, bool senzaEstensione = false);

// The new name of a file, without folder: the base name, the running number
// and the extension the new name takes.
QString nuovoNome(
    const QString &nomeFile, const QString &nomeBase, qint64 numero, bool senzaEstensione = false);
