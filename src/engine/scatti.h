#pragma once

#include <QList>
#include <QStringList>

// One shot: the files a camera wrote of one picture, as a RAW and a JPEG,
// with the sidecars an editor keeps beside them. They share one number.
struct Scatto
{
    // Their positions in the selection, by their new extension: IMG_1.CR2,
    // IMG_1.CR2.xmp, IMG_1.JPG, IMG_1.xmp.
    QList<qsizetype> file;
    // At the same places, the photo whose time and correction each file
    // takes: itself, or for a sidecar its photo.
    QList<qsizetype> foto;
};

struct Scatti
{
    QList<Scatto> scatti;
    // The sidecars whose photo is not in the selection: they go nowhere.
    QList<qsizetype> senzaFoto;
};

// The shots of a selection of paths. Files of one folder whose names are the
// same but for the part after their last dot are one shot, their names
// compared as the folder's file system compares them; two of one shot would
// take the same new name, as IMG_1.JPG and IMG_1.jpg, so the second starts a
// shot of its own. NAME.xmp belongs to the shot NAME, NAME.EXT.xmp to the
// file NAME.EXT. Without extensions the photos of a shot could not be told
// apart, and each is a shot of its own, with the sidecars that follow it.
Scatti raggruppaScatti(const QStringList &percorsi, bool senzaEstensione);
