#pragma once

#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <atomic>

class QTableWidget;

// Loads a small picture of each file aside and puts it in its row of the
// table as it comes, so that the table opens at once and keeps answering;
// a movie gets its kind instead. Loading stops when the object goes.
class Miniature : public QObject
{
    Q_OBJECT

public:
    // The files, as whole paths, in the order of the table's rows.
    Miniature(QTableWidget *tabella, int colonna, const QStringList &file);
    ~Miniature() override;

    // The height of a row that holds one.
    static int altezza();

signals:
    // Every picture there is has come.
    void caricate();

private:
    void carica(const QStringList &file, int inizio, int passo);
    void mostra(const QList<QPair<int, QImage>> &pronte);

    QTableWidget *m_tabella;
    const int m_colonna;
    int m_mancano = 0;
    std::atomic<bool> m_ferma { false };
    QThreadPool m_lettori;
};
