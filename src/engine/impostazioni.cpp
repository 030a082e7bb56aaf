#include "engine/impostazioni.h"

#include "platform/settingsstore.h"

#include <QFileInfo>

namespace {

const QString Applicazione = QStringLiteral("Vobi");

} // namespace

QString nomeSezione(const QString &eseguibile)
{
    QString nome = QFileInfo(eseguibile).completeBaseName().toLower();
    if (!nome.isEmpty())
        nome[0] = nome[0].toUpper();
    return nome;
}

QString testoBooleano(bool valore)
{
    return valore ? QStringLiteral("True") : QStringLiteral("False");
}

bool booleanoDaTesto(const QString &testo)
{
    return testo.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
}

bool impostazioniLeggibili()
{
    return platform::canReadSettings(Applicazione);
}

QString leggiImpostazione(const QString &sezione, const QString &chiave, const QString &predefinito)
{
    return platform::readSetting(Applicazione, sezione, chiave, predefinito);
}

void scriviImpostazione(const QString &sezione, const QString &chiave, const QString &valore)
{
    platform::writeSetting(Applicazione, sezione, chiave, valore);
}
