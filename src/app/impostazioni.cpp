#include "app/impostazioni.h"

#include "app/form1.h"
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

QString Form1::LeggiImpostazione(const QString &chiave, const QString &predefinito) const
{
    return platform::readSetting(Applicazione, m_stato.NomeSezione, chiave, predefinito);
}

void Form1::ScriviImpostazione(const QString &chiave, const QString &valore) const
{
    platform::writeSetting(Applicazione, m_stato.NomeSezione, chiave, valore);
}
