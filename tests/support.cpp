#include "support.h"

#include "app/impostazioni.h"
#include "platform/failurereport.h"
#include "platform/settingsstore.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <csignal>
#include <fcntl.h>

namespace test {

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

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void setTime(const QString &path, const QDateTime &time, long nanoseconds)
{
    const timespec times[2] = { { 0, UTIME_OMIT }, { time.toSecsSinceEpoch(), nanoseconds } };
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
    platform::setFailureSink([this](const QString &text) { reports.append(text); });
}

Sandbox::~Sandbox()
{
    platform::setFailureSink({});
}

QString Sandbox::configFile() const
{
    return m_config.filePath(QStringLiteral("Vobi.conf"));
}

void CannedDialog::answer()
{
    shown.append(*this);
    if (cancel)
        throw platform::DialogCancelled();
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
