#include "engine/impostazioni.h"
#include "window/form1.h"

#include <QRadioButton>

void Form1::OptionData_Click()
{
    CambiaOrdine();
}

void Form1::OptionNome_Click()
{
    CambiaOrdine();
}

// The choice is remembered; the engine puts the files in its order when a
// run is planned, so that the order is that of the files as they are then.
void Form1::CambiaOrdine()
{
    if (m_stato.InCaricamento)
        return;
    m_stato.OrdinePerNome = OptionNome->isChecked();
    ScriviImpostazione(QStringLiteral("OrdineNome"), testoBooleano(m_stato.OrdinePerNome));
}
