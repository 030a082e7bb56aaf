#pragma once

#include <QString>

#include <exception>

class QWidget;

namespace desktop {

// The Windows open-file flags that this dialog honours; any other is ignored.
enum : int {
    OFN_OVERWRITEPROMPT = 0x2,
    OFN_NOVALIDATE = 0x100,
    OFN_ALLOWMULTISELECT = 0x200,
    OFN_EXPLORER = 0x80000,
};

// Thrown by ShowOpen and ShowSave on Cancel when CancelError is set.
class DialogCancelled : public std::exception
{
public:
    const char *what() const noexcept override { return "dialog cancelled"; }
};

// The common file dialog: set its fields, show it, read the answer back from
// the same fields. Tests replace ShowOpen and ShowSave with canned answers.
// Paths in the fields are in the program's own form (filenames.h), whatever
// Qt's widgets show.
class CommonDialog
{
public:
    virtual ~CommonDialog() = default;

    QString DialogTitle;
    QString InitDir;
    // Before: the proposed name. After: the chosen path; for several files the
    // folder, then each name after a NUL character.
    QString FileName;
    // After: the chosen name without folder; empty for several files.
    QString FileTitle;
    int Flags = 0;
    // Label and pattern pairs joined by "|": "Immagini JPEG (*.jpg)|*.jpg|...".
    QString Filter;
    // 1-based; before: the entry to preselect, after: the entry chosen.
    int FilterIndex = 1;
    bool CancelError = false;

    virtual void ShowOpen(QWidget *parent);
    virtual void ShowSave(QWidget *parent);

private:
    void show(QWidget *parent, bool save);
};

} // namespace desktop
