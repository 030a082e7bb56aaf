#include "window/commondialog.h"

#include "platform/filenames.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>

#include <algorithm>

namespace desktop {

namespace {

struct FilterEntry
{
    QString label;
    QString pattern;
};

QList<FilterEntry> filterEntries(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QList<FilterEntry> entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts.at(i).isEmpty() || !parts.at(i + 1).isEmpty())
            entries.append({ parts.at(i), parts.at(i + 1) });
    }
    return entries;
}

// Qt reads a filter's patterns, split by blanks where Windows has ";", from
// the last parentheses of its text and shows only what stands before them,
// so each label keeps its own text.
QStringList qtNameFilters(const QList<FilterEntry> &entries)
{
    QStringList filters;
    for (const FilterEntry &entry : entries)
        filters.append(entry.label + QStringLiteral(" (")
            + QString(entry.pattern).replace(QLatin1Char(';'), QLatin1Char(' '))
            + QLatin1Char(')'));
    return filters;
}

// The extension that a filter such as "*.jpg" gives a typed name without one.
QString defaultExtension(const QString &pattern)
{
    const QString extension = pattern.mid(1);
    const bool plain = pattern.startsWith(QLatin1String("*."))
        && !extension.contains(QLatin1Char('*')) && !extension.contains(QLatin1Char('?'))
        && !extension.contains(QLatin1Char(';'));
    return plain ? extension : QString();
}

} // namespace

void CommonDialog::ShowOpen(QWidget *parent)
{
    show(parent, false);
}

void CommonDialog::ShowSave(QWidget *parent)
{
    show(parent, true);
}

void CommonDialog::show(QWidget *parent, bool save)
{
    QFileDialog dialog(
        parent, DialogTitle, InitDir.isEmpty() ? QDir::homePath() : platform::pathToQt(InitDir));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(Flags & OFN_OVERWRITEPROMPT));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Any name is accepted, as a typed name need not exist: the open dialog's
    // preset stands for all files of the chosen type.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!save && (Flags & OFN_ALLOWMULTISELECT)) {
        // Qt allows several files only where each must exist; its list and
        // detail views take several here all the same.
        for (auto *view : dialog.findChildren<QAbstractItemView *>()) {
            if (view->objectName() == QLatin1String("listView")
                || view->objectName() == QLatin1String("treeView"))
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        }
    }

    const QList<FilterEntry> entries = filterEntries(Filter);
    if (!entries.isEmpty()) {
        dialog.setNameFilters(qtNameFilters(entries));
        const qsizetype preselected = std::clamp<qsizetype>(FilterIndex, 1, entries.size()) - 1;
        dialog.selectNameFilter(dialog.nameFilters().at(preselected));
    }
    if (!FileName.isEmpty()) {
        dialog.selectFile(FileName);
        // The proposed name comes back in each folder the user moves to, so
        // that confirming it there needs no typing.
        if (auto *model = dialog.findChild<QFileSystemModel *>()) {
            QObject::connect(model, &QFileSystemModel::rootPathChanged, &dialog,
                [&dialog, proposed = FileName] { dialog.selectFile(proposed); });
        }
    }

    if (dialog.exec() != QDialog::Accepted) {
        if (CancelError)
            throw DialogCancelled();
        FileName.clear();
        FileTitle.clear();
        return;
    }

    QStringList files = dialog.selectedFiles();
    for (QString &file : files)
        file = platform::pathFromQt(file);
    // The entry's position, which the filter's text does not tell reliably:
    // Qt returns it with or without its patterns, depending on the version.
    if (const auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
        FilterIndex = types->currentIndex() + 1;
    if (files.size() > 1) {
        FileName = QFileInfo(files.first()).absolutePath();
        for (const QString &file : files)
            FileName += QChar(0) + QFileInfo(file).fileName();
        FileTitle.clear();
        return;
    }
    FileName = files.value(0);
    FileTitle = QFileInfo(FileName).fileName();
    const QString extension = defaultExtension(entries.value(FilterIndex - 1).pattern);
    if (!save && !FileTitle.contains(QLatin1Char('.')) && !extension.isEmpty()) {
        FileName += extension;
        FileTitle += extension;
    }
}

} // namespace desktop
