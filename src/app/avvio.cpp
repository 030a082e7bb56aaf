#include "app/form1.h"
#include "app/impostazioni.h"

#include <QCoreApplication>

void Form1::Form_Load()
{
    m_stato.NomeSezione = nomeSezione(QCoreApplication::applicationFilePath());
}
