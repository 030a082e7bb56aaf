#include "platform/fileerror.h"

#include "platform/filenames.h"

#include <cerrno>

namespace platform {

FileError::FileError(Operation operation, QStringList paths, int errorCode, QDateTime time)
    : m_operation(operation)
    , m_paths(std::move(paths))
    , m_errorCode(errorCode)
    , m_time(std::move(time))
    , m_what(message().toUtf8())
{ }

QString FileError::systemText() const
{
    return qt_error_string(m_errorCode);
}

QString FileError::message() const
{
    const QString first = displayFileName(m_paths.value(0));
    const QString second = displayFileName(m_paths.value(1));
    QString what;
    switch (m_operation) {
    case Operation::List:
        what = QStringLiteral("Impossibile leggere la cartella «%1».").arg(first);
        break;
    case Operation::Copy:
        what = QStringLiteral("Impossibile copiare «%1» in «%2».").arg(first, second);
        break;
    case Operation::Rename:
        what = QStringLiteral("Impossibile spostare «%1» in «%2».").arg(first, second);
        break;
    case Operation::SetAttributes:
        what = QStringLiteral("Impossibile cambiare gli attributi di «%1».").arg(first);
        break;
    case Operation::ReadTime:
        what = QStringLiteral("Impossibile leggere la data di «%1».").arg(first);
        break;
    case Operation::SetTime:
        what =
            QStringLiteral("La foto «%1» è al suo posto con il nuovo nome, ma non è stato "
                           "possibile darle la data %2.")
                .arg(first, m_time.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
        break;
    case Operation::Move:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2», perché non è stato "
                              "possibile eliminare l'originale.")
                   .arg(first, second);
        break;
    case Operation::Verify:
        what = QStringLiteral("La copia di «%1» in «%2» non corrisponde all'originale: il supporto "
                              "di destinazione o il lettore potrebbe essere difettoso. L'originale "
                              "non è stato toccato.")
                   .arg(first, second);
        break;
    case Operation::ShortRead:
        what = QStringLiteral("«%1» non è stata letta per intero: la lettura ha dato un numero di "
                              "byte diverso dalla sua dimensione. Il supporto d'origine o il "
                              "lettore potrebbe essere difettoso. L'originale non è stato toccato; "
                              "la copia in «%2» è stata tolta.")
                   .arg(first, second);
        break;
    case Operation::UnsteadyRead:
        what =
            QStringLiteral("Due letture di «%1» hanno dato byte diversi: il supporto d'origine o "
                           "il lettore potrebbe essere difettoso. L'originale non è stato "
                           "toccato; la copia in «%2» è stata tolta.")
                .arg(first, second);
        break;
    case Operation::Reread:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2»: riletta dal supporto, "
                              "non coincide con quanto era stato copiato. La scheda o il lettore "
                              "(o il suo cavo) potrebbe essere difettoso. L'originale è al suo "
                              "posto; la copia è stata tolta.")
                   .arg(first, second);
        break;
    case Operation::MoveUndone:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2»: la copia non è stata "
                              "registrata per intero ed è stata tolta; l'originale è al suo posto.")
                   .arg(first, second);
        break;
    }
    // A copy that reads back other bytes than were written has no system error.
    if (m_errorCode == 0)
        return what;
    // A card pulled out, or a drive gone: the driver's words tell a
    // photographer nothing.
    if (m_errorCode == ENOTCONN || m_errorCode == ENODEV || m_errorCode == ENXIO
        || m_errorCode == EIO) {
        const QString medium = m_paths.size() > 1
            ? QStringLiteral("«%1» o quello di «%2»").arg(first, second)
            : QStringLiteral("«%1»").arg(first);
        return what
            + QStringLiteral("\n\nIl supporto di %1 non risponde più: la scheda o il disco "
                             "potrebbe essere stato rimosso.")
                  .arg(medium);
    }
    return what + QStringLiteral("\n\n") + systemText();
}

} // namespace platform
