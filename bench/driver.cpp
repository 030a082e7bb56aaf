// Drives the real window offscreen for the benchmark: one run of Copia,
// Sposta or the running-number scan, timed inside the process.
//
//   copia-bench copy|move SOURCE DESTINATION   every file of SOURCE, by name
//   copia-bench scan DESTINATION               a run with nothing selected
//   copia-bench startup                        start-up from the stored settings
//   copia-bench uncache FOLDER...              flushes every file of the folders and
//                                              drops it from the page cache
//   copia-bench resident FOLDER...             prints how many KiB of their files
//                                              the page cache holds
//   copia-bench warm MIB                       touches that much memory and frees it
//   copia-bench check SOURCE DESTINATION [doppioni|SCHEMA]
//                                              prints the milliseconds the plan
//                                              before a copy of every file of
//                                              SOURCE and its folders takes,
//                                              looking for doubles, or into
//                                              folders by date, where asked
//   copia-bench models SOURCE                  the cameras of every file of SOURCE,
//                                              read aside as the window lists them
//   copia-bench preview SOURCE DESTINATION     the preview of a copy of every file of
//                                              SOURCE; prints the milliseconds until it
//                                              is shown, until every thumbnail is in, and
//                                              the longest stall while they came
//
// Prints the seconds the click took (for start-up, until the window is
// painted), the peak resident memory in KiB, the number of files start-up
// selected, and the longest time in milliseconds that the window's event
// loop did not turn during the click.

#include "engine/piano.h"
#include "engine/selezione.h"
#include "platform/photometadata.h"
#include "window/failurereport.h"
#include "window/form1.h"
#include "window/miniature.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFutureWatcher>
#include <QImage>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

void setText(Form1 &form, const char *name, const QString &text)
{
    form.findChild<QLineEdit *>(QLatin1String(name))->setText(text);
}

QString slashed(const QString &folder)
{
    return QDir(folder).absolutePath() + QLatin1Char('/');
}

void report(double seconds, int selected = 0, double stallMs = 0)
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.4f %ld %d %.1f\n", seconds, usage.ru_maxrss, selected, stallMs);
}

// Measures the longest gap between two turns of the event loop, with a timer
// that asks to run every millisecond.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        m_timer.start(1);
        m_sinceLast.start();
    }
    // Counts the time since the last turn as well.
    double longestMs() const { return std::max(m_longest, m_sinceLast.nsecsElapsed()) / 1e6; }

private:
    void tick()
    {
        m_longest = std::max(m_longest, m_sinceLast.nsecsElapsed());
        m_sinceLast.start();
    }

    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    qint64 m_longest = 0;
};

// The window is shown once it is exposed and painted.
void showWindow(Form1 &form)
{
    form.show();
    while (!form.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    form.repaint();
}

// A user picks the photos once the window has read what it remembered, such
// as the cameras of a large card: a new selection would have stopped that
// reading, which the selection made here in place of a user's does not.
void waitForReadings(const Form1 &form)
{
    const auto reading = [&form] {
        const QList<QFutureWatcherBase *> watchers = form.findChildren<QFutureWatcherBase *>();
        return std::any_of(watchers.cbegin(), watchers.cend(),
            [](const QFutureWatcherBase *watcher) { return !watcher->isFinished(); });
    };
    while (reading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int startUp()
{
    QElapsedTimer timer;
    timer.start();
    Form1 form;
    showWindow(form);
    report(timer.nsecsElapsed() / 1e9, form.stato().NumFile);
    return 0;
}

// Calls work with a read-only descriptor of every file directly in the
// folders; stops at the first file that cannot be opened.
template<typename Work> bool forEachFile(int argc, char *argv[], Work work)
{
    for (int i = 2; i < argc; ++i) {
        const QDir folder(QString::fromLocal8Bit(argv[i]));
        for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden)) {
            const QByteArray path = QFile::encodeName(folder.filePath(name));
            const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                std::perror(path.constData());
                return false;
            }
            work(fd);
            ::close(fd);
        }
    }
    return true;
}

// Dirty pages are not dropped, so each file is flushed first.
int uncache(int argc, char *argv[])
{
    return forEachFile(argc, argv,
               [](int fd) {
                   ::fdatasync(fd);
                   ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
               })
        ? 0
        : 1;
}

int resident(int argc, char *argv[])
{
    const long page = ::sysconf(_SC_PAGESIZE);
    long long pages = 0;
    const bool ok = forEachFile(argc, argv, [&](int fd) {
        const off_t size = ::lseek(fd, 0, SEEK_END);
        if (size <= 0)
            return;
        void *map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED)
            return;
        std::vector<unsigned char> inCore(size_t((size + page - 1) / page));
        if (::mincore(map, size_t(size), inCore.data()) == 0)
            pages +=
                std::count_if(inCore.begin(), inCore.end(), [](unsigned char c) { return c & 1; });
        ::munmap(map, size_t(size));
    });
    std::printf("%lld\n", pages * page / 1024);
    return ok ? 0 : 1;
}

// A virtual machine's host may take back the memory its guest left free; the
// next writer to fill it with new pages then pays the host's faults, several
// times the copy itself. Touched just before a timed run, it is fresh for all.
int warm(const char *mebibytes)
{
    const size_t size = size_t(std::strtoul(mebibytes, nullptr, 10)) << 20;
    void *memory =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::perror("warm");
        return 1;
    }
    // In large blocks, as the page cache takes them.
    ::madvise(memory, size, MADV_HUGEPAGE);
    ::madvise(memory, size, MADV_POPULATE_WRITE);
    ::munmap(memory, size);
    return 0;
}

// A JPEG of noise, which no encoder squeezes: about 2 MiB.
int noise(const QString &path)
{
    QImage picture(1600, 1120, QImage::Format_RGB32);
    QRandomGenerator random(1);
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = random.generate();
    }
    return picture.save(path, "JPG", 95) ? 0 : 1;
}

// Reads when each photo of the folder was taken, as a plan does.
int capture(const QString &folder)
{
    int read = 0;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        read += platform::photoMetadata(slashed(folder) + name).captureTime.has_value();
    std::printf("%d\n", read);
    return 0;
}

// The plan that a run makes before its first file, its shots and its check,
// as a trial makes it; looking for the photos the destination holds too,
// as the window does, or filing them in folders by date, where asked.
int check(const QString &source, const QString &destination, const QString &asked)
{
    Richiesta richiesta;
    for (const QString &name : fileDellaCartella(slashed(source), true).file)
        richiesta.origini.append(slashed(source) + name);
    richiesta.destinazione = slashed(destination);
    richiesta.nomeBase = QStringLiteral("Img_");
    richiesta.prova = true;
    if (asked == QLatin1String("doppioni"))
        richiesta.doppioni = Doppioni::Segnati;
    else if (!asked.isEmpty())
        richiesta.cartellePerData = cartellePerDataDaTesto(asked).value();
    PianoTrasferimento piano;
    QElapsedTimer timer;
    timer.start();
    const QString refusal = preparaPiano(richiesta, piano);
    std::printf("%.1f\n", timer.nsecsElapsed() / 1e6);
    return refusal.isEmpty() ? 0 : 1;
}

// Selects every file of the folder, as a tick of «Includi sottocartelle»
// does, switches a correction on and waits while their cameras are read
// aside: the stall is the window's longest wait meanwhile.
int models(const QString &source)
{
    Form1 form;
    showWindow(form);
    setText(form, "SrcPath", slashed(source));
    auto *cameras = form.findChild<QComboBox *>(QStringLiteral("Fotocamere"));
    QElapsedTimer timer;
    timer.start();
    const StallMeter meter;
    form.findChild<QCheckBox *>(QStringLiteral("SottoCartelle"))->click();
    // A correction switched on asks for the cameras.
    form.findChild<QCheckBox *>(QStringLiteral("CorrOra"))->click();
    while (cameras->count() < 2)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    report(timer.nsecsElapsed() / 1e9, form.stato().NumFile, meter.longestMs());
    return 0;
}

// Clicks «Anteprima» and, once its dialog is on screen, waits for the
// thumbnails and closes it; the stall counts from the dialog shown.
int preview(Form1 &form)
{
    QElapsedTimer timer;
    std::optional<StallMeter> stalls;
    double openMs = 0;
    double loadedMs = 0;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != QLatin1String("Anteprima")
            || !dialog->windowHandle()->isExposed())
            return;
        watch.stop();
        openMs = timer.nsecsElapsed() / 1e6;
        stalls.emplace();
        QObject::connect(
            dialog->findChild<Miniature *>(), &Miniature::caricate, dialog, [&, dialog] {
                loadedMs = timer.nsecsElapsed() / 1e6;
                static_cast<QDialog *>(dialog)->reject();
            });
    });
    watch.start(1);
    timer.start();
    form.findChild<QAbstractButton *>(QLatin1String("Anteprima"))->click();
    if (loadedMs == 0)
        return 1;
    std::printf("%.0f %.0f %.1f\n", openMs, loadedMs, stalls->longestMs());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if ((argc == 4 || argc == 5) && std::string_view(argv[1]) == "check")
        return check(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
            argc == 5 ? QString::fromLocal8Bit(argv[4]) : QString());
    // Neither needs a window; they run between the timed runs.
    if (argc >= 3 && std::string_view(argv[1]) == "uncache")
        return uncache(argc, argv);
    if (argc >= 3 && std::string_view(argv[1]) == "resident")
        return resident(argc, argv);
    if (argc == 3 && std::string_view(argv[1]) == "warm")
        return warm(argv[2]);
    if (argc == 3 && std::string_view(argv[1]) == "capture")
        return capture(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::string_view(argv[1]) == "noise") {
        QCoreApplication app(argc, argv);
        return noise(QString::fromLocal8Bit(argv[2]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("startup") && args.size() == 2)
        return startUp();
    if (mode == QLatin1String("models") && args.size() == 3)
        return models(args.at(2));
    const bool corrected = mode == QLatin1String("corrected-copy");
    if (!(args.size() == 4
            && (mode == QLatin1String("copy") || mode == QLatin1String("move") || corrected
                || mode == QLatin1String("preview")))
        && !(args.size() == 3 && mode == QLatin1String("scan"))) {
        std::fprintf(stderr,
            "usage: copia-bench copy|corrected-copy|move|preview SOURCE DESTINATION | scan "
            "DESTINATION\n"
            "       copia-bench startup | models FOLDER | capture FOLDER | noise JPEG | "
            "uncache|resident "
            "FOLDER...\n"
            "       copia-bench warm MIB\n"
            "       copia-bench check SOURCE DESTINATION [doppioni|SCHEMA]\n");
        return 2;
    }

    // A click comes on a window already shown, not while it is first painted.
    Form1 form;
    showWindow(form);
    waitForReadings(form);
    const QString destination = slashed(args.last());
    QStringList names;
    if (mode != QLatin1String("scan")) {
        const QString source = slashed(args.at(2));
        names = QDir(source).entryList(QDir::Files, QDir::Name);
        setText(form, "SrcPath", source);
    } else {
        setText(form, "SrcPath", destination);
    }
    setText(form, "DestPath", destination);
    setText(form, "NomeBase", QStringLiteral("Img_"));
    form.stato().ElencoFile = QStringList { QString() } + names;
    form.stato().NumFile = int(names.size());
    if (corrected) {
        // A camera an hour ahead.
        form.findChild<QCheckBox *>(QStringLiteral("CorrOra"))->setChecked(true);
        form.stato().CorrOre = -1;
    }

    // A message box would wait for a click that never comes: the bench stops
    // on the text instead, with no timing to read.
    bool failed = false;
    // A scan is a run with nothing selected, which says so.
    const bool scan = mode == QLatin1String("scan");
    desktop::setFailureSink([&failed, scan](const QString &text) {
        if (scan && text.startsWith(QLatin1String("Nessun file da copiare")))
            return;
        std::fprintf(stderr, "%s\n", qPrintable(text));
        failed = true;
    });
    if (mode == QLatin1String("preview"))
        return preview(form);
    const char *button = mode == QLatin1String("move") ? "Sposta" : "Copia";
    QElapsedTimer timer;
    timer.start();
    const StallMeter stalls;
    form.findChild<QAbstractButton *>(QLatin1String(button))->click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double stallMs = stalls.longestMs();
    if (failed)
        return 1;

    report(seconds, 0, stallMs);
    return 0;
}
