#include "platform/folderlisting.h"

#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/media.h"

#include <QVarLengthArray>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace platform {

namespace {

bool sameLetter(QChar a, QChar b)
{
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

// A "?" may match nothing when its run of "?" ends at a "." or at the end.
bool endsRunBeforeDot(QStringView pattern, qsizetype position)
{
    while (position < pattern.size() && pattern[position] == QLatin1Char('?'))
        ++position;
    return position == pattern.size() || pattern[position] == QLatin1Char('.');
}

} // namespace

bool matchesPattern(const QString &name, const QString &pattern)
{
    // What start-up and "all files" list: every name.
    if (pattern == QLatin1String("*") || pattern == QLatin1String("*.*"))
        return true;
    // Dynamic programming over the pattern from its end: rest[i] tells whether
    // name from i matches the pattern after position j; here[i] from j on.
    const qsizetype n = name.size();
    const qsizetype m = pattern.size();
    QVarLengthArray<bool, 256> rest(n + 1, false);
    QVarLengthArray<bool, 256> here(n + 1, false);
    rest[n] = true;
    for (qsizetype j = m - 1; j >= 0; --j) {
        const QChar p = pattern[j];
        const bool finalDotStar =
            j == m - 2 && p == QLatin1Char('.') && pattern[m - 1] == QLatin1Char('*');
        const bool mayBeEmpty = p == QLatin1Char('?') && endsRunBeforeDot(pattern, j);
        for (qsizetype i = n; i >= 0; --i) {
            const bool atEnd = i == n;
            bool matches;
            if (p == QLatin1Char('*'))
                matches = rest[i] || (!atEnd && here[i + 1]);
            else if (p == QLatin1Char('?'))
                matches = (!atEnd && rest[i + 1])
                    || (mayBeEmpty && (atEnd || name[i] == QLatin1Char('.')) && rest[i]);
            else
                matches = !atEnd && sameLetter(name[i], p) && rest[i + 1];
            here[i] = matches || (finalDotStar && atEnd);
        }
        std::swap(rest, here);
    }
    return rest[0];
}

struct FolderListing::Private
{
    DIR *dir = nullptr;
    QString folder;
    QString namePattern;

    bool isRegularFile(const dirent *entry) const
    {
        if (entry->d_type == DT_REG)
            return true;
        if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
            return false;
        struct stat status;
        return ::fstatat(::dirfd(dir), entry->d_name, &status, 0) == 0 && S_ISREG(status.st_mode);
    }
};

FolderListing::FolderListing(const QString &pattern)
    : d(std::make_unique<Private>())
{
    const qsizetype slash = pattern.lastIndexOf(QLatin1Char('/'));
    d->folder = pattern.left(slash + 1);
    d->namePattern = pattern.mid(slash + 1);
    const QByteArray folder = d->folder.isEmpty() ? QByteArray(".") : encodeFileName(d->folder);
    d->dir = ::opendir(folder.constData());
    if (!d->dir && errno != ENOENT && errno != ENOTDIR)
        throw FileError(FileError::Operation::List, { d->folder }, errno);
}

FolderListing::~FolderListing()
{
    if (d->dir)
        ::closedir(d->dir);
}

QString FolderListing::next()
{
    while (d->dir) {
        errno = 0;
        const dirent *entry = ::readdir(d->dir);
        if (!entry) {
            const int error = errno;
            ::closedir(std::exchange(d->dir, nullptr));
            if (error != 0)
                throw FileError(FileError::Operation::List, { d->folder }, error);
            break;
        }
        if (entry->d_name[0] == '.')
            continue;
        const QString name = decodeFileName(entry->d_name);
        if (matchesPattern(name, d->namePattern) && d->isRegularFile(entry))
            return name;
    }
    return {};
}

QStringList subfoldersOf(const QString &folder)
{
    QStringList folders;
    for (const QString &name : namesIn(folder)) {
        struct stat status;
        if (!name.startsWith(QLatin1Char('.'))
            && ::lstat(encodeFileName(withSeparator(folder) + name).constData(), &status) == 0
            && S_ISDIR(status.st_mode))
            folders.append(name);
    }
    return folders;
}

} // namespace platform
