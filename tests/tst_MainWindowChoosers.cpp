#include "tests/support/WhenModal.h"
#include "tests/support/WindowUnderTest.h"

#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

// The two choosers, and the directory chooser that a start opens when the field was emptied.
class MainWindowChoosersTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void directoryChooser_data();
    void directoryChooser();
    void programChooser_data();
    void programChooser();
    void chooserAtStartWhenFieldEmptied();

private:
    QScopedPointer<QTemporaryDir> workingDirectory;
    QScopedPointer<QTemporaryDir> chosenDirectory;
    QScopedPointer<WindowUnderTest> w;
};

// What a chooser looked like while it was open.
struct SeenDialog
{
    bool seen = false;
    bool isWidgetDialog = false;
    bool parentIsWindow = false;
    QString title;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    QFileDialog::ViewMode viewMode = QFileDialog::List;
    QStringList nameFilters;
    QString directory;
};

namespace {

// Records the dialog, then accepts it on `choice` or cancels it when `choice` is empty.
void answerFileDialog(SeenDialog &seen, const QString &choice, QMainWindow *window)
{
    whenModal([&seen, choice, window](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        seen.seen = true;
        if (!dialog) {
            modal->close();
            return;
        }
        // A native dialog shows no widgets of its own; the toolkit's shows its file view.
        const auto views = dialog->findChildren<QTreeView *>();
        seen.isWidgetDialog = std::any_of(views.begin(), views.end(),
                                          [](QTreeView *view) { return view->isVisible(); });
        seen.parentIsWindow = dialog->parentWidget() == window;
        seen.title = dialog->windowTitle();
        seen.fileMode = dialog->fileMode();
        seen.viewMode = dialog->viewMode();
        seen.nameFilters = dialog->nameFilters();
        seen.directory = QDir(dialog->directory()).absolutePath();
        if (choice.isEmpty()) {
            dialog->reject();
        } else if (QFileInfo(choice).isDir()) {
            dialog->setDirectory(choice);
            static_cast<QDialog *>(dialog)->accept();
        } else {
            // Typed as the operator would; the file view may still be loading.
            dialog->findChild<QLineEdit *>("fileNameEdit")->setText(choice);
            static_cast<QDialog *>(dialog)->accept();
        }
        // A dialog that refused the answer is closed all the same, so the test fails instead
        // of waiting for ever.
        if (dialog->isVisible())
            dialog->reject();
    });
}

} // namespace

void MainWindowChoosersTest::init()
{
    workingDirectory.reset(new QTemporaryDir);
    chosenDirectory.reset(new QTemporaryDir);
    QVERIFY(workingDirectory->isValid() && chosenDirectory->isValid());
    w.reset(new WindowUnderTest(workingDirectory->path()));
}

void MainWindowChoosersTest::cleanup()
{
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    w.reset();
}

void MainWindowChoosersTest::directoryChooser_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted over typed text") << "typed by hand" << true;
    QTest::newRow("accepted into an empty field") << "" << true;
    QTest::newRow("cancelled keeps typed text") << "typed by hand" << false;
    QTest::newRow("cancelled keeps an empty field") << "" << false;
    QTest::newRow("cancelled keeps a directory") << "<working directory>" << false;
}

// Choosing emits nothing and creates nothing: the folder is made by the next press only.
void MainWindowChoosersTest::directoryChooser()
{
    QFETCH(QString, before);
    QFETCH(bool, accept);
    if (before == "<working directory>")
        before = QDir(workingDirectory->path()).absolutePath();
    w->directoryField->setText(before);
    const QString chosen = QDir(chosenDirectory->path()).absolutePath();
    SeenDialog seen;
    answerFileDialog(seen, accept ? chosen : QString(), &w->window);
    w->window.findChild<QPushButton *>("pushButton_selectDirectory")->click();

    QVERIFY(seen.seen);
    QVERIFY(seen.isWidgetDialog);
    QVERIFY(seen.parentIsWindow);
    QCOMPARE(seen.fileMode, QFileDialog::Directory);
    QCOMPARE(seen.viewMode, QFileDialog::Detail);
    QCOMPARE(seen.nameFilters, QStringList{"directories"});
    // It opens at the toolkit's default place, not at the directory in the field.
    QVERIFY(seen.directory != QDir(workingDirectory->path()).absolutePath());
    QCOMPARE(w->directoryField->text(), accept ? chosen : before);
    QCOMPARE(w->folders.count(), 0);
    QCOMPARE(QDir(chosen).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(QDir(workingDirectory->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

void MainWindowChoosersTest::programChooser_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted") << true;
    QTest::newRow("cancelled empties the field") << false;
}

void MainWindowChoosersTest::programChooser()
{
    QFETCH(bool, accept);
    const QString program = QDir(chosenDirectory->path()).absoluteFilePath("stimulus program");
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    w->programField->setText("/previous/program");
    SeenDialog seen;
    answerFileDialog(seen, accept ? program : QString(), &w->window);
    w->window.findChild<QPushButton *>("pushButton_SelectApp")->click();

    QVERIFY(seen.seen);
    QVERIFY(seen.isWidgetDialog);
    QVERIFY(seen.parentIsWindow);
    QCOMPARE(seen.title, QStringLiteral("Select app"));
    QCOMPARE(seen.fileMode, QFileDialog::ExistingFile);
    QCOMPARE(w->programField->text(), accept ? program : QString());
}

// The chosen directory fills the field, but the run records into the folder it announced at
// the press.
void MainWindowChoosersTest::chooserAtStartWhenFieldEmptied()
{
    w->postpone->setValue(0);
    w->press();
    w->directoryField->clear();
    const QString chosen = QDir(chosenDirectory->path()).absolutePath();
    SeenDialog seen;
    bool chosenBeforeStart = false;
    connect(&w->window, &MainWindow::startRecording, this, [&] { chosenBeforeStart = seen.seen; });
    answerFileDialog(seen, chosen, &w->window);
    QVERIFY(w->starts.wait(5000));
    QVERIFY(chosenBeforeStart);
    QCOMPARE(w->directoryField->text(), chosen);
    QCOMPARE(w->folders.count(), 1);
    QCOMPARE(w->folders.first().first().toString(), workingDirectory->path() + "/1");
    QTRY_COMPARE(w->recorder.folders, QStringList{workingDirectory->path() + "/1"});
}

QTEST_MAIN(MainWindowChoosersTest)
#include "tst_MainWindowChoosers.moc"
