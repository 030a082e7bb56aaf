#include "support.h"

#include "engine/impostazioni.h"
#include "platform/copying.h"
#include "platform/settingsstore.h"
#include "window/failurereport.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace test {

int runReportingSkips(int argc, char *argv[], const std::function<int(int &, char **)> &run)
{
    // A second, plain log of the run tells whether a case skipped. Its file
    // loses its name at once, so that not even a crash leaves it behind.
    QTemporaryFile log;
    if (!log.open() || ::unlink(QFile::encodeName(log.fileName()).constData()) != 0)
        qFatal("cannot make the test log");
    std::vector<QByteArray> texts(argv, argv + argc);
    std::vector<QByteArray> logs { "-o",
        "/proc/self/fd/" + QByteArray::number(log.handle()) + ",txt" };
    // Naming a log replaces the one on the screen, unless the caller chose its own.
    if (std::find(texts.begin(), texts.end(), "-o") == texts.end())
        logs.insert(logs.end(), { "-o", "-,txt" });
    texts.insert(texts.begin() + 1, logs.begin(), logs.end());
    std::vector<char *> arguments;
    for (QByteArray &text : texts)
        arguments.push_back(text.data());
    arguments.push_back(nullptr);
    int count = int(texts.size());
    const int failures = run(count, arguments.data());
    if (failures != 0)
        return failures;
    return log.readAll().contains("\nSKIP   : ") ? skipped : 0;
}

QString writeFile(
    const QString &folder, const QString &name, const QByteArray &content, const QDateTime &time)
{
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    if (time.isValid())
        setTime(path, time);
    return path;
}

void copyFile(const QString &source, const QString &target)
{
    platform::PendingCopy copy = platform::writeCopy(source, target);
    platform::verifyCopy(copy, false);
    platform::publishCopy(copy);
}

QString writePhoto(const QString &folder, const QString &name, const QMap<QString, QString> &tags,
    const QDateTime &time)
{
    const QString path = QDir(folder).filePath(name);
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    const bool png = name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
    if (!picture.save(&jpeg, png ? "PNG" : "JPG"))
        qFatal("cannot make a photo");
    writeFile(folder, name, jpeg.data());
    if (!tags.isEmpty()) {
        const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        for (auto tag = tags.begin(); tag != tags.end(); ++tag) {
            if (tag.key() != QLatin1String("thumbnail"))
                image->exifData()[tag.key().toStdString()] = tag.value().toStdString();
        }
        if (tags.contains(QStringLiteral("thumbnail"))) {
            picture.fill(Qt::red);
            QBuffer thumbnail;
            thumbnail.open(QIODevice::WriteOnly);
            picture.save(&thumbnail, "JPG");
            Exiv2::ExifThumb(image->exifData())
                .setJpegThumbnail(
                    reinterpret_cast<const Exiv2::byte *>(thumbnail.data().constData()),
                    thumbnail.data().size());
        }
        image->writeMetadata();
    }
    if (time.isValid())
        setTime(path, time);
    return path;
}

QByteArray exifStructure(const QMap<QString, QString> &tags, const QByteArray &xmp)
{
    Exiv2::ExifData exif;
    for (auto tag = tags.begin(); tag != tags.end(); ++tag)
        exif[tag.key().toStdString()] = tag.value().toStdString();
    if (!xmp.isEmpty()) {
        Exiv2::DataValue packet(Exiv2::unsignedByte);
        packet.read(reinterpret_cast<const Exiv2::byte *>(xmp.constData()), long(xmp.size()));
        // The encoder leaves out tag 700, the XMP packet: it goes under the
        // next one, renamed once encoded.
        exif.add(Exiv2::ExifKey("Exif.Image.0x02bd"), &packet);
    }
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()))
        .replace(QByteArray("\xBD\x02\x01\0", 4), QByteArray("\xBC\x02\x01\0", 4));
}

namespace {

QByteArray bigEndian(quint64 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    return bytes;
}

QByteArray box(const char *type, const QByteArray &body)
{
    return bigEndian(quint64(body.size()) + 8, 4) + type + body;
}

} // namespace

QByteArray movie(const QDateTime &made, bool longTimes, qsizetype pictures, const QByteArray &brand,
    const QByteArray &more)
{
    const int size = longTimes ? 8 : 4;
    const QByteArray times =
        bigEndian(quint64(made.toSecsSinceEpoch() + 2082844800), size).repeated(2);
    const QByteArray version = QByteArray(1, char(longTimes)) + QByteArray(3, '\0');
    const QByteArray scale = bigEndian(1000, 4);
    const QByteArray header = box("mvhd", version + times + scale + QByteArray(size + 80, '\0'));
    const QByteArray track = box("tkhd", version + times + QByteArray(size + 64, '\0'));
    const QByteArray media = box("mdhd", version + times + scale + QByteArray(size + 4, '\0'));
    return box("ftyp", brand + QByteArray("\0\0\2\0", 4) + brand + "iso2mp41")
        + box("mdat", QByteArray(pictures, 'v'))
        + box("moov", header + box("trak", track + box("mdia", media)) + more);
}

QByteArray keyedCreationDate(const QByteArray &date)
{
    const auto key = [](const QByteArray &name) {
        return bigEndian(quint64(name.size()) + 8, 4) + "mdta" + name;
    };
    const auto item = [](quint32 index, const QByteArray &text) {
        const QByteArray data = box("data", bigEndian(1, 4) + bigEndian(0, 4) + text);
        return bigEndian(quint64(data.size()) + 8, 4) + bigEndian(index, 4) + data;
    };
    const QByteArray handler = box("hdlr", QByteArray(8, '\0') + "mdta" + QByteArray(13, '\0'));
    const QByteArray keys = box("keys",
        QByteArray(4, '\0') + bigEndian(2, 4) + key("com.apple.quicktime.make")
            + key("com.apple.quicktime.creationdate"));
    return box("meta", handler + keys + box("ilst", item(1, "Apple") + item(2, date)));
}

QByteArray userDay(const QByteArray &day)
{
    return box("udta",
        box("\xA9"
            "day",
            bigEndian(quint64(day.size()), 2) + "\x15\xC7" + day));
}

QByteArray heic(const QByteArray &exif)
{
    const QByteArray item = bigEndian(6, 4) + QByteArray("Exif\0\0", 6) + exif;
    const QByteArray type = box("ftyp", QByteArray("heic\0\0\0\0mif1heic", 16));
    const QByteArray fullBox(4, '\0');
    const QByteArray handler =
        box("hdlr", fullBox + QByteArray(4, '\0') + "pict" + QByteArray(13, '\0'));
    const QByteArray infos = box(
        "iinf", fullBox + bigEndian(1, 2) + box("infe", QByteArray("\2\0\0\0\0\1\0\0Exif\0", 13)));
    const auto places = [&](quint64 offset) {
        return box("iloc",
            fullBox + QByteArray("\x44\0", 2) + bigEndian(1, 2) + bigEndian(1, 2) + bigEndian(0, 2)
                + bigEndian(1, 2) + bigEndian(offset, 4) + bigEndian(quint64(item.size()), 4));
    };
    const QByteArray primary = box("pitm", fullBox + bigEndian(1, 2));
    const qsizetype metaSize = box("meta", fullBox + handler + primary + places(0) + infos).size();
    const QByteArray meta = box(
        "meta", fullBox + handler + primary + places(quint64(type.size() + metaSize + 8)) + infos);
    return type + meta + box("mdat", item);
}

QByteArray tiffDatedInPixels(const QByteArray &pixels, const QByteArray &original)
{
    const quint64 entries = original.isEmpty() ? 3 : 4;
    const quint64 data = 8 + 2 + entries * 12 + 4;
    const quint64 strip = data + (original.isEmpty() ? 0 : 20);
    const auto entry = [](quint64 tag, quint64 type, quint64 count, quint64 value) {
        return bigEndian(tag, 2) + bigEndian(type, 2) + bigEndian(count, 4) + bigEndian(value, 4);
    };
    QByteArray tiff = "MM" + bigEndian(42, 2) + bigEndian(8, 4) + bigEndian(entries, 2)
        + entry(0x0111, 4, 1, strip) + entry(0x0117, 4, 1, quint64(pixels.size()))
        + entry(0x0132, 2, 19, strip);
    if (!original.isEmpty())
        tiff += entry(0x9003, 2, 20, data);
    tiff += bigEndian(0, 4);
    if (!original.isEmpty())
        tiff += original + '\0';
    return tiff + pixels;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void setTime(const QString &path, const QDateTime &time, long nanoseconds)
{
    // Both times: some FUSE file systems lose the modification time without the access time.
    const timespec stamp { time.toSecsSinceEpoch(), nanoseconds };
    const timespec times[2] = { stamp, stamp };
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
        qFatal("cannot set the time of %s", qPrintable(path));
}

struct stat statOf(const QString &path)
{
    struct stat status
    { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        status.st_ino = 0;
    return status;
}

QStringList entriesOf(const QString &folder)
{
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QString slashed(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void remember(const char *key, const QString &value)
{
    platform::writeSetting(QStringLiteral("Vobi"),
        nomeSezione(QCoreApplication::applicationFilePath()), QLatin1String(key), value);
}

QString stored(const char *key)
{
    return platform::readSetting(QStringLiteral("Vobi"),
        nomeSezione(QCoreApplication::applicationFilePath()), QLatin1String(key),
        QStringLiteral("(assente)"));
}

std::unique_ptr<QTemporaryDir> folderOnOtherFileSystem()
{
    auto folder = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/copia-test-XXXXXX"));
    if (!folder->isValid() || statOf(folder->path()).st_dev == statOf(QDir::tempPath()).st_dev)
        return nullptr;
    return folder;
}

Medium::Medium(const QString &kind)
    : m_kind(kind)
{
    m_mountPoint = m_work.filePath(QStringLiteral("media"));
    if (::geteuid() != 0)
        m_whyNot = QStringLiteral("needs root to mount %1").arg(kind);
    else if (!QDir().mkdir(m_mountPoint))
        m_whyNot = QStringLiteral("cannot make a mount point");
    else
        m_mounted = mount(kind);
}

bool Medium::mount(const QString &kind)
{
    if (kind == QLatin1String("tmpfs"))
        return run(QStringLiteral("mount"),
            { QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                QStringLiteral("size=64m"), QStringLiteral("tmpfs"), m_mountPoint });
    if (kind.startsWith(QLatin1String("quirky:"))) {
        const QString backing = m_work.filePath(QStringLiteral("backing"));
        return QDir().mkdir(backing)
            && run(QStringLiteral(QUIRKYFS), { kind.mid(7), backing, m_mountPoint });
    }
    if (kind == QLatin1String("bindfs")) {
        const QString backing = m_work.filePath(QStringLiteral("backing"));
        return QDir().mkdir(backing) && run(QStringLiteral("bindfs"), { backing, m_mountPoint });
    }

    // As "exfat:size=16M,cluster=128K": the card's size in MiB, and the
    // size of its clusters.
    const auto option = [&kind](const char *key) {
        for (const QString &pair : kind.section(QLatin1Char(':'), 1).split(QLatin1Char(',')))
            if (pair.section(QLatin1Char('='), 0, 0) == QLatin1String(key))
                return pair.section(QLatin1Char('='), 1);
        return QString();
    };
    const QString size = option("size");
    const QString image = m_work.filePath(QStringLiteral("card.img"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly)
        || !file.resize((size.isEmpty() ? 64 : size.chopped(1).toLongLong()) << 20)) {
        m_whyNot = QStringLiteral("cannot make a card image");
        return false;
    }
    file.close();
    if (kind == QLatin1String("fat32"))
        return run(QStringLiteral("mkfs.vfat"),
                   { QStringLiteral("-F"), QStringLiteral("32"), image })
            && attach();
    if (kind == QLatin1String("ext4"))
        return run(QStringLiteral("mkfs.ext4"), { QStringLiteral("-q"), image })
            && run(QStringLiteral("losetup"),
                { QStringLiteral("--find"), QStringLiteral("--show"), image }, &m_loopDevice)
            && attach();
    // exfat-fuse run by root wants a block device.
    QStringList format { image };
    if (!option("cluster").isEmpty())
        format << QStringLiteral("--cluster-size") << option("cluster");
    return run(QStringLiteral("mkfs.exfat"), format)
        && run(QStringLiteral("losetup"),
            { QStringLiteral("--find"), QStringLiteral("--show"), image }, &m_loopDevice)
        && attach();
}

bool Medium::attach()
{
    if (m_kind == QLatin1String("fat32"))
        return run(QStringLiteral("fusefat"),
            { QStringLiteral("-o"), QStringLiteral("rw+"),
                m_work.filePath(QStringLiteral("card.img")), m_mountPoint });
    return run(m_kind == QLatin1String("ext4") ? QStringLiteral("mount")
                                               : QStringLiteral("mount.exfat-fuse"),
        { m_loopDevice, m_mountPoint });
}

bool Medium::takeOut()
{
    m_mounted = m_mounted && !run(QStringLiteral("umount"), { m_mountPoint });
    return !m_mounted;
}

bool Medium::putBackIn()
{
    m_mounted = m_mounted || attach();
    return m_mounted;
}

Medium::~Medium()
{
    if (m_mounted && !run(QStringLiteral("umount"), { m_mountPoint }))
        run(QStringLiteral("umount"), { QStringLiteral("--lazy"), m_mountPoint });
    if (!m_loopDevice.isEmpty())
        run(QStringLiteral("losetup"), { QStringLiteral("--detach"), m_loopDevice });
}

qint64 Medium::bytesRead() const
{
    QFile count(m_work.filePath(QStringLiteral("backing.reads")));
    return count.open(QIODevice::ReadOnly) ? count.readAll().trimmed().toLongLong() : 0;
}

bool Medium::isHolding() const
{
    return QFile::exists(m_work.filePath(QStringLiteral("backing.held")));
}

void Medium::release()
{
    QFile(m_work.filePath(QStringLiteral("backing.release"))).open(QIODevice::WriteOnly);
}

bool Medium::pullOut() const
{
    QFile number(m_work.filePath(QStringLiteral("backing.pid")));
    // The driver writes it as the kernel first speaks to it, which the
    // first look at the card waits for.
    if (!number.exists())
        QDir(m_mountPoint).exists();
    const pid_t pid = number.open(QIODevice::ReadOnly) ? number.readAll().trimmed().toInt() : 0;
    return pid > 0 && ::kill(pid, SIGKILL) == 0;
}

bool Medium::makeReadOnly()
{
    return run(QStringLiteral("mount"),
        { QStringLiteral("-o"), QStringLiteral("remount,ro"), m_mountPoint });
}

bool Medium::swapCard()
{
    return !m_loopDevice.isEmpty() && run(QStringLiteral("umount"), { m_mountPoint })
        && run(QStringLiteral("mkfs.exfat"), { m_loopDevice }) && attach();
}

bool Medium::remountElsewhere()
{
    // The image is attached anew while the old device still holds it, so
    // that it cannot get the same one.
    QString other;
    if (m_loopDevice.isEmpty() || !run(QStringLiteral("umount"), { m_mountPoint })
        || !run(QStringLiteral("losetup"),
            { QStringLiteral("--find"), QStringLiteral("--show"),
                m_work.filePath(QStringLiteral("card.img")) },
            &other))
        return false;
    run(QStringLiteral("losetup"), { QStringLiteral("--detach"), m_loopDevice });
    m_loopDevice = other;
    return attach();
}

bool Medium::run(const QString &program, const QStringList &arguments, QString *output)
{
    if (QStandardPaths::findExecutable(program).isEmpty()
        && QStandardPaths::findExecutable(
            program, { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin") })
               .isEmpty()) {
        m_whyNot = QStringLiteral("%1 is not installed").arg(program);
        return false;
    }
    QProcess process;
    // fusefat reads back an hour off what it wrote in any other zone.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        m_whyNot =
            QStringLiteral("%1 failed: %2")
                .arg(program, QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return true;
}

namespace {

// A copy, in folder, of a file that another user may not reach where it is,
// as under /root.
QString copyInto(const QString &folder, const QString &path)
{
    const QString copy = QDir(folder).filePath(QFileInfo(path).fileName());
    if (!QFile::copy(path, copy))
        qFatal("cannot copy %s into %s", qPrintable(path), qPrintable(folder));
    return copy;
}

} // namespace

void rerunAsUnprivilegedUser()
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("needs setpriv to run as a user who is not root");
    // A home and runtime folder that go with the test, or Qt would make a
    // /tmp/runtime-nobody that outlives it; the program runs from there, with
    // what it reads, wherever it was built.
    QTemporaryDir home;
    const passwd *nobody = ::getpwnam("nobody");
    QVERIFY(home.isValid() && nobody
        && ::chown(QFile::encodeName(home.path()).constData(), nobody->pw_uid, nobody->pw_gid)
            == 0);
    const QString program = copyInto(home.path(), QCoreApplication::applicationFilePath());
    const QStringList asNobody { QStringLiteral("--reuid=nobody"),
        QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups") };
    if (QProcess::execute(setpriv,
            asNobody + QStringList { QStringLiteral("test"), QStringLiteral("-x"), program })
        != 0)
        QSKIP("the user nobody cannot run the test program from the temporary folder");
    QString function = QString::fromLatin1(QTest::currentTestFunction());
    if (const char *tag = QTest::currentDataTag())
        function += QLatin1Char(':') + QString::fromLatin1(tag);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    // LeakSanitizer reads its suppressions as the program ends.
    QStringList leakOptions =
        environment.value(QStringLiteral("LSAN_OPTIONS")).split(QLatin1Char(':'));
    for (QString &option : leakOptions) {
        if (option.startsWith(QLatin1String("suppressions=")))
            option = QStringLiteral("suppressions=")
                + copyInto(home.path(), option.section(QLatin1Char('='), 1));
    }
    if (environment.contains(QStringLiteral("LSAN_OPTIONS")))
        environment.insert(QStringLiteral("LSAN_OPTIONS"), leakOptions.join(QLatin1Char(':')));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(home.path());
    child.start(setpriv, asNobody + QStringList { program, function });
    QVERIFY(child.waitForFinished(120'000));
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == skipped)
        QSKIP("the run as a user who is not root skipped; its output is above");
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
        "the run as a user who is not root failed; its output is above");
}

SessionBus::SessionBus(const QProcessEnvironment &environment)
{
    m_daemon.setProcessEnvironment(environment);
    m_daemon.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--print-address"),
            QStringLiteral("--address=unix:dir=") + m_folder.path() });
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(30000)) { }
    if (m_daemon.canReadLine()) {
        m_address = QString::fromLatin1(m_daemon.readLine().trimmed());
        return;
    }
    const QString why = QString::fromLocal8Bit(m_daemon.readAllStandardError()).trimmed();
    m_whyNot = QStringLiteral("dbus-daemon did not start (%1)")
                   .arg(why.isEmpty() ? m_daemon.errorString() : why);
}

SessionBus::~SessionBus()
{
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    ::getrlimit(RLIMIT_FSIZE, &m_saved);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = m_saved;
    limited.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limited) != 0)
        qFatal("cannot limit the file size");
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_oldHandler);
}

Sandbox::Sandbox()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    // The runs' journals too, so that no test reads another's.
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_config.path()));
    desktop::setFailureSink([this](const QString &text) { reports.append(text); });
    desktop::setQuestionSink([this](const desktop::Question &question) {
        questions.append(question.text);
        buttons.append({ question.yes, question.no, question.cancel });
        return answer;
    });
}

Sandbox::~Sandbox()
{
    desktop::setFailureSink({});
    desktop::setQuestionSink({});
}

QString Sandbox::configFile() const
{
    return m_config.filePath(QStringLiteral("Vobi.conf"));
}

void CannedDialog::answer()
{
    shown.append(*this);
    if (cancel)
        throw desktop::DialogCancelled();
    FileName = answerFileName;
    FileTitle = answerFileTitle;
    FilterIndex = answerFilterIndex;
}

CannedDialog &Window::cannedDialog()
{
    if (!m_dialog) {
        auto dialog = std::make_unique<CannedDialog>();
        m_dialog = dialog.get();
        m_form->sostituisciDialogo(std::move(dialog));
    }
    return *m_dialog;
}

Window::Window()
    : m_form(std::make_unique<Form1>())
{
    m_form->show();
    if (!QTest::qWaitForWindowExposed(m_form.get()))
        qFatal("the window was not shown");
}

QLineEdit *Window::lineEdit(const char *name) const
{
    auto *edit = m_form->findChild<QLineEdit *>(QLatin1String(name));
    if (!edit)
        qFatal("no line edit %s", name);
    return edit;
}

QLabel *Window::label(const char *name) const
{
    auto *label = m_form->findChild<QLabel *>(QLatin1String(name));
    if (!label)
        qFatal("no label %s", name);
    return label;
}

QPushButton *Window::button(const char *name) const
{
    auto *button = m_form->findChild<QPushButton *>(QLatin1String(name));
    if (!button)
        qFatal("no button %s", name);
    return button;
}

void Window::setText(const char *name, const QString &text)
{
    lineEdit(name)->setText(text);
}

QString Window::text(const char *name) const
{
    if (auto *label = m_form->findChild<QLabel *>(QLatin1String(name)))
        return label->text();
    return lineEdit(name)->text();
}

void Window::click(const char *name)
{
    auto *button = m_form->findChild<QAbstractButton *>(QLatin1String(name));
    if (!button)
        qFatal("no button %s", name);
    QTest::mouseClick(button, Qt::LeftButton);
}

void Window::check(const char *name, bool checked)
{
    auto *button = m_form->findChild<QAbstractButton *>(QLatin1String(name));
    if (!button)
        qFatal("no button %s", name);
    if (button->isChecked() != checked)
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
}

void Window::select(const QStringList &names)
{
    state().ElencoFile = QStringList { QString() } + names;
    state().NumFile = int(names.size());
}

void Window::prepare(const QString &source, const QString &destination, const QStringList &names,
    const QString &baseName)
{
    setText("SrcPath", slashed(source));
    setText("DestPath", slashed(destination));
    setText("NomeBase", baseName);
    select(names);
}

} // namespace test
