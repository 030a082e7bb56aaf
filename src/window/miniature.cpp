#include "window/miniature.h"

#include "engine/selezione.h"
#include "platform/filenames.h"
#include "platform/photometadata.h"

#include <QBuffer>
#include <QImageReader>
#include <QTableWidget>

namespace {

constexpr QSize Riquadro(64, 48);

// The picture read and scaled in one go: a JPEG is decoded at a fraction of
// its size straight away. Turned as the camera was held, where it says so.
QImage rimpicciolita(QImageReader &lettore)
{
    lettore.setAutoTransform(true);
    const QSize intera = lettore.size();
    if (intera.isValid())
        lettore.setScaledSize(intera.scaled(Riquadro, Qt::KeepAspectRatio));
    // A small image in three bytes a pixel keeps a thousand rows light.
    return lettore.read().convertToFormat(QImage::Format_RGB888);
}

// The picture the photo carries of itself, where it has one; else the photo.
QImage miniaturaDi(const QString &percorso)
{
    QByteArray incorporata = platform::embeddedPreview(percorso);
    if (!incorporata.isEmpty()) {
        QBuffer dati(&incorporata);
        QImageReader lettore(&dati);
        if (const QImage immagine = rimpicciolita(lettore); !immagine.isNull())
            return immagine;
    }
    QImageReader lettore(platform::pathToQt(percorso));
    return rimpicciolita(lettore);
}

} // namespace

Miniature::Miniature(QTableWidget *tabella, int colonna, const QStringList &file)
    : QObject(tabella)
    , m_tabella(tabella)
    , m_colonna(colonna)
{
    setObjectName(QStringLiteral("Miniature"));
    tabella->setIconSize(Riquadro);
    QStringList foto(file.size());
    for (int riga = 0; riga < file.size(); ++riga) {
        const Genere genere = genereDi(platform::namePart(file.at(riga)));
        if (genere == Genere::Video || genere == Genere::Sidecar) {
            auto *tipo = new QTableWidgetItem(
                genere == Genere::Video ? QStringLiteral("video") : QStringLiteral("xmp"));
            tipo->setTextAlignment(Qt::AlignCenter);
            tabella->setItem(riga, colonna, tipo);
            continue;
        }
        foto[riga] = file.at(riga);
        ++m_mancano;
    }
    if (m_mancano == 0) {
        QMetaObject::invokeMethod(this, &Miniature::caricate, Qt::QueuedConnection);
        return;
    }
    // Each reader takes every n-th row, so that the first rows come first.
    const int lettori = m_lettori.maxThreadCount();
    for (int inizio = 0; inizio < lettori; ++inizio)
        m_lettori.start([this, foto, inizio, lettori] { carica(foto, inizio, lettori); });
}

Miniature::~Miniature()
{
    m_ferma = true;
    m_lettori.waitForDone();
}

int Miniature::altezza()
{
    return Riquadro.height() + 4;
}

void Miniature::carica(const QStringList &file, int inizio, int passo)
{
    // A few at a time: the window takes each handful in one short turn.
    QList<QPair<int, QImage>> pronte;
    for (int riga = inizio; riga < file.size() && !m_ferma; riga += passo) {
        if (file.at(riga).isEmpty())
            continue;
        pronte.append({ riga, miniaturaDi(file.at(riga)) });
        if (pronte.size() == 8) {
            QMetaObject::invokeMethod(
                this, [this, pronte] { mostra(pronte); }, Qt::QueuedConnection);
            pronte.clear();
        }
    }
    if (!pronte.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, pronte] { mostra(pronte); }, Qt::QueuedConnection);
}

void Miniature::mostra(const QList<QPair<int, QImage>> &pronte)
{
    for (const auto &[riga, immagine] : pronte) {
        auto *cella = new QTableWidgetItem;
        cella->setData(Qt::DecorationRole, immagine);
        m_tabella->setItem(riga, m_colonna, cella);
    }
    m_mancano -= int(pronte.size());
    if (m_mancano == 0)
        emit caricate();
}
