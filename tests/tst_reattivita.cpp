#include "support.h"

#include "platform/background.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>

#include <functional>

namespace {

// Holds the run's work before the given file (0 is the first) and runs the
// test's checks on the user-interface thread while it is held.
class HeldWork
{
public:
    HeldWork(int held, std::function<void()> whileHeld)
    {
        platform::setWorkGate([this, held, whileHeld](int file) {
            if (file != held)
                return;
            QMetaObject::invokeMethod(qApp, [this, whileHeld] {
                const auto release = qScopeGuard([this] { m_released.release(); });
                whileHeld();
            });
            m_released.acquire();
        });
    }
    ~HeldWork() { platform::setWorkGate({}); }

private:
    QSemaphore m_released;
};

// Records what Suffisso showed each time it was painted.
class PaintLog : public QObject
{
public:
    QStringList painted;

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted.append(static_cast<QLabel *>(object)->text());
        return false;
    }
};

} // namespace

class TestReattivita : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void windowAnswersButIgnoresInputDuringRun();
    void keyboardDuringRun_data();
    void keyboardDuringRun();
    void closingStopsAfterFileInProgress_data();
    void closingStopsAfterFileInProgress();

private:
    void prepareThreePhotos();

    std::unique_ptr<test::Sandbox> m_sandbox;
    std::unique_ptr<QTemporaryDir> m_source;
    std::unique_ptr<QTemporaryDir> m_destination;
    std::unique_ptr<test::Window> m_window;
};

void TestReattivita::init()
{
    m_sandbox = std::make_unique<test::Sandbox>();
    m_source = std::make_unique<QTemporaryDir>();
    m_destination = std::make_unique<QTemporaryDir>();
    m_window = std::make_unique<test::Window>();
}

void TestReattivita::cleanup()
{
    m_window.reset();
    m_sandbox.reset();
}

void TestReattivita::prepareThreePhotos()
{
    const QDateTime time(QDate(2026, 6, 1), QTime(9, 0, 0));
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        names.append(QStringLiteral("DSC_%1.JPG").arg(i));
        test::writeFile(
            m_source->path(), names.last(), QByteArray(1 << 20, char('a' + i)), time.addSecs(i));
    }
    m_window->prepare(m_source->path(), m_destination->path(), names);
}

void TestReattivita::windowAnswersButIgnoresInputDuringRun()
{
    prepareThreePhotos();
    test::CannedDialog &dialog = m_window->cannedDialog();
    PaintLog log;
    m_window->label("Suffisso")->installEventFilter(&log);
    auto *bar = m_window->form().findChild<QProgressBar *>(QStringLiteral("BarraAvanzamento"));
    bool held = false;
    const HeldWork work(0, [&] {
        held = true;
        // The platform may hold a repaint back to its next frame.
        QTRY_COMPARE(log.painted.value(log.painted.size() - 1), QStringLiteral("001"));
        QCOMPARE(m_window->form().windowTitle(), QStringLiteral("0/3 – Copia e Rinomina"));
        // The bar stands in the account's place, in the terminal's words.
        QVERIFY(bar->isVisible() && !m_window->label("Esito")->isVisible());
        QVERIFY2(bar->text().startsWith(QStringLiteral("0/3 · 0 byte di 3,1 MB")),
            qPrintable(bar->text()));
        QCOMPARE(QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Description),
            bar->text());
        for (const char *control : { "Copia", "Sposta", "SfogliaS", "SfogliaD", "OptionNome" })
            m_window->click(control);
        QTest::keyClicks(m_window->lineEdit("NomeBase"), QStringLiteral("Mare"));
    });

    m_window->click("Copia");
    QVERIFY(held);
    QCoreApplication::processEvents();
    QCOMPARE(test::entriesOf(m_destination->path()),
        QStringList({ "Img_001.jpg", "Img_002.jpg", "Img_003.jpg" }));
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("003"));
    QCOMPARE(m_window->form().windowTitle(), QStringLiteral("Copia e Rinomina"));
    QVERIFY(!bar->isVisible() && m_window->label("Esito")->isVisible());
    QCOMPARE(m_window->text("NomeBase"), QStringLiteral("Img_"));
    QVERIFY(dialog.shown.isEmpty());
    QVERIFY(!m_window->form().findChild<QRadioButton *>(QStringLiteral("OptionNome"))->isChecked());
    QCOMPARE(test::stored("OrdineNome"), QStringLiteral("(assente)"));
    QVERIFY(m_window->button("Copia")->isEnabled());
    QVERIFY(m_sandbox->reports.isEmpty());
}

void TestReattivita::keyboardDuringRun_data()
{
    QTest::addColumn<QList<int>>("keys"); // 0 is a switch to another program and back
    QTest::addColumn<bool>("stops");
    QTest::newRow("Space and Enter do nothing")
        << QList<int> { Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space } << false;
    QTest::newRow("nor after switching programs") << QList<int> { 0, Qt::Key_Space } << false;
    QTest::newRow("Tab leads to Termina") << QList<int> { Qt::Key_Tab, Qt::Key_Space } << true;
    QTest::newRow("Shift+Tab leads to Termina")
        << QList<int> { Qt::Key_Backtab, Qt::Key_Space } << true;
}

// The run starts with Space on Copia, as the keys go from the keyboard: to
// whatever has the focus.
void TestReattivita::keyboardDuringRun()
{
    QFETCH(QList<int>, keys);
    QFETCH(bool, stops);
    prepareThreePhotos();
    Form1 &form = m_window->form();
    QPushButton *copia = m_window->button("Copia");
    copia->setFocus();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const auto press = [&form](int key) {
        QTest::keyClick(form.windowHandle(), Qt::Key(key),
            key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
    };
    const auto onNoControl = [&form] {
        QWidget *focus = QApplication::focusWidget();
        return focus == &form || !form.isAncestorOf(focus);
    };
    QWidget other;
    const HeldWork work(0, [&] {
        QVERIFY(onNoControl());
        for (const int key : keys) {
            if (key == 0) {
                other.show();
                other.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&other));
                form.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&form));
                QVERIFY(onNoControl());
                continue;
            }
            press(key);
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
                QCOMPARE(QApplication::focusWidget(), m_window->button("Termina"));
        }
    });

    press(Qt::Key_Space);
    QCOMPARE(test::entriesOf(m_destination->path()).size(), stops ? 1 : 3);
    QCOMPARE(form.isVisible(), !stops);
    if (!stops)
        QCOMPARE(QApplication::focusWidget(), copia);
}

void TestReattivita::closingStopsAfterFileInProgress_data()
{
    QTest::addColumn<bool>("byTermina");
    QTest::newRow("Termina") << true;
    QTest::newRow("the window's close button") << false;
}

void TestReattivita::closingStopsAfterFileInProgress()
{
    QFETCH(bool, byTermina);
    prepareThreePhotos();
    Form1 &form = m_window->form();
    bool stillOpen = false;
    const HeldWork work(0, [&] {
        if (byTermina)
            m_window->click("Termina");
        else
            form.close();
        stillOpen = form.isVisible();
    });

    m_window->click("Sposta");
    QVERIFY(stillOpen);
    QVERIFY(!form.isVisible());
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList({ "Img_001.jpg" }));
    QCOMPARE(test::contentOf(m_destination->filePath(QStringLiteral("Img_001.jpg"))),
        QByteArray(1 << 20, 'a'));
    QCOMPARE(test::entriesOf(m_source->path()), QStringList({ "DSC_1.JPG", "DSC_2.JPG" }));
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("001"));
    QVERIFY(m_sandbox->reports.isEmpty());
    QVERIFY(!QFile::exists(m_sandbox->configFile()));
}

COPIA_TEST_MAIN(TestReattivita)
#include "tst_reattivita.moc"
