#include "platform/fileerror.h"

#include "platform/filenames.h"

#include <cerrno>

namespace platform {

QString systemErrorText(int errorCode)
{
    switch (errorCode) {
    case ENOSPC:
        return QStringLiteral("Sul supporto non c'è più spazio");
    case EDQUOT:
        return QStringLiteral("È esaurito lo spazio concesso a questo utente sul supporto");
    case EACCES:
        return QStringLiteral("Permesso negato");
    case EPERM:
        return QStringLiteral("Operazione non permessa");
    case EROFS:
        return QStringLiteral("Il supporto è di sola lettura");
    case ENOENT:
        return QStringLiteral("Il file o la cartella non esiste");
    case EEXIST:
        return QStringLiteral("Esiste già un file con quel nome");
    case ENAMETOOLONG:
        return QStringLiteral("Il nome è troppo lungo");
    case EINVAL:
        return QStringLiteral("Il supporto non accetta questo nome o questa operazione");
    case EFBIG:
        return QStringLiteral("Il file è troppo grande per il supporto");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Ci sono troppi file aperti");
    case ENOTDIR:
        return QStringLiteral("Una parte del percorso non è una cartella");
    case EISDIR:
        return QStringLiteral("È una cartella, non un file");
    case ENOTEMPTY:
        return QStringLiteral("La cartella non è vuota");
    case EBUSY:
        return QStringLiteral("Il file o il supporto è in uso");
    case ETXTBSY:
        return QStringLiteral("Il file è in uso da un programma in esecuzione");
    case EAGAIN:
        return QStringLiteral("Il file è momentaneamente occupato");
    case EXDEV:
        return QStringLiteral("Il file è su un altro supporto");
    case ELOOP:
        return QStringLiteral("Il percorso ha troppi collegamenti simbolici");
    case EOPNOTSUPP:
    case ENOSYS:
        return QStringLiteral("Il supporto non permette questa operazione");
    case ECANCELED:
        return QStringLiteral("Operazione interrotta");
    case ENOMEM:
        return QStringLiteral("La memoria non basta");
    case EIO:
        return QStringLiteral("Errore di lettura o di scrittura sul supporto");
    case ENODEV:
    case ENXIO:
        return QStringLiteral("Il dispositivo non c'è più");
    case ENOTCONN:
        return QStringLiteral("Il supporto non è più collegato");
    case ECONNABORTED:
        return QStringLiteral("Il collegamento con il supporto si è interrotto");
    case ETIMEDOUT:
        return QStringLiteral("Il supporto non ha risposto in tempo");
    case ESTALE:
        return QStringLiteral("Il file non è più valido sul supporto di rete");
    }
    // The system's words, in the user's language where it has them.
    return qt_error_string(errorCode);
}

namespace {

// The source, for the operations that fail on it alone.
FileError::Side sideOf(FileError::Operation operation)
{
    using Operation = FileError::Operation;
    return operation == Operation::Move || operation == Operation::ShortRead
            || operation == Operation::UnsteadyRead || operation == Operation::Reread
            || operation == Operation::CopyReread
        ? FileError::Side::Read
        : FileError::Side::Written;
}

} // namespace

FileError::FileError(Operation operation, QStringList paths, int errorCode, QDateTime time)
    : FileError(operation, std::move(paths), errorCode, sideOf(operation), std::move(time))
{ }

FileError::FileError(
    Operation operation, QStringList paths, int errorCode, Side side, QDateTime time)
    : m_operation(operation)
    , m_paths(std::move(paths))
    , m_errorCode(errorCode)
    , m_time(std::move(time))
    , m_side(side)
    , m_mediumGone(tellsMediumGone())
    , m_what(message().toUtf8())
{ }

FileError FileError::asMove() const
{
    FileError move = *this;
    move.m_operation = Operation::Rename;
    move.m_what = move.message().toUtf8();
    return move;
}

// A card pulled out, or a drive unplugged: its driver stops answering, or,
// mounted again, its folder no longer holds the copy just written there,
// nor renames a file within itself.
bool FileError::tellsMediumGone() const
{
    const bool copyWritten = m_side == Side::Written
        && (m_operation == Operation::Copy || m_operation == Operation::Verify
            || m_operation == Operation::MoveUndone);
    switch (m_errorCode) {
    case EIO:
    case ENODEV:
    case ENXIO:
    case ENOTCONN:
    case ECONNABORTED:
        return true;
    case ENOENT:
        return copyWritten;
    case EXDEV:
        // A copy is renamed only within its folder.
        return copyWritten
            || (m_operation == Operation::Rename && m_paths.size() > 1
                && folderPart(m_paths.first()) == folderPart(m_paths.last()));
    }
    return false;
}

QString FileError::systemText() const
{
    return systemErrorText(m_errorCode);
}

QString FileError::message() const
{
    const QString first = displayFileName(m_paths.value(0));
    const QString second = displayFileName(m_paths.value(1));
    QString what;
    switch (m_operation) {
    case Operation::List:
        what = QStringLiteral("Impossibile leggere la cartella «%1».")
                   .arg(displayFolderName(m_paths.value(0)));
        break;
    case Operation::Copy:
        what = QStringLiteral("Impossibile copiare «%1» in «%2».").arg(first, second);
        break;
    case Operation::Rename:
        what = QStringLiteral("Impossibile spostare «%1» in «%2».").arg(first, second);
        break;
    case Operation::Read:
        what = m_errorCode == 0
            ? QStringLiteral("«%1» non si legge per intero: due letture hanno dato byte diversi, "
                             "o meno byte della sua dimensione. Il supporto o il lettore potrebbe "
                             "essere difettoso.")
            : QStringLiteral("Impossibile leggere «%1» per intero.");
        what = what.arg(first);
        break;
    case Operation::SetAttributes:
        what = QStringLiteral("Impossibile cambiare gli attributi di «%1».").arg(first);
        break;
    case Operation::ReadTime:
        what = QStringLiteral("Impossibile leggere la data di «%1».").arg(first);
        break;
    case Operation::MakeFolder:
        what = QStringLiteral("Impossibile creare la cartella «%1».")
                   .arg(displayFolderName(m_paths.value(0)));
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
        what = m_errorCode == 0
            ? QStringLiteral("La copia di «%1» in «%2» non corrisponde all'originale: il supporto "
                             "di destinazione o il lettore potrebbe essere difettoso. L'originale "
                             "non è stato toccato.")
            : QStringLiteral("Impossibile rileggere la copia di «%1» in «%2» per verificarla. "
                             "L'originale non è stato toccato.");
        what = what.arg(first, second);
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
    case Operation::CopyReread: {
        const QString fatto = m_operation == Operation::Reread ? QStringLiteral("spostata")
                                                               : QStringLiteral("copiata");
        what = m_errorCode == 0
            ? QStringLiteral("La foto «%1» non è stata %3 in «%2»: riletta dal supporto, "
                             "non coincide con quanto era stato copiato. La scheda o il lettore "
                             "(o il suo cavo) potrebbe essere difettoso. L'originale è al suo "
                             "posto; la copia è stata tolta.")
            : QStringLiteral("La foto «%1» non è stata %3 in «%2»: non è stato possibile "
                             "rileggerla dal supporto. L'originale è al suo posto; la copia è "
                             "stata tolta.");
        what = what.arg(first, second, fatto);
        break;
    }
    case Operation::MoveUndone:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2»: la copia non è stata "
                              "registrata per intero ed è stata tolta; l'originale è al suo posto.")
                   .arg(first, second);
        break;
    }
    // A copy that reads back other bytes than were written has no system error.
    if (m_errorCode == 0)
        return what;
    // The driver's words tell a photographer nothing: the medium of the path
    // refused is named, a folder by itself.
    if (m_mediumGone) {
        const QString refused = m_side == Side::Read ? m_paths.first() : m_paths.last();
        const QString folder = m_operation == Operation::List ? refused : folderPart(refused);
        return what
            + QStringLiteral("\n\nIl supporto di «%1» non risponde più: la scheda o il disco è "
                             "stato rimosso?")
                  .arg(displayFolderName(folder));
    }
    return what + QStringLiteral("\n\n") + systemText() + QLatin1Char('.');
}

} // namespace platform
