#pragma once

#include <QString>

// A running number as it stands in a file name: at least three digits,
// padded with leading zeros (1 gives 001, 1000 gives 1000).
QString numeroSuffisso(qint64 numero);

// "" and "_" are the base name field's empty states, and "*" gives no running
// number: none of them names files, and none is remembered.
bool nomeBaseVuoto(const QString &nome);
