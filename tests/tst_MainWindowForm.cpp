#include "ui/MainWindow.h"
#include "ui/MainWindowForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMetaMethod>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QVBoxLayout>

// A window with the three slots the form connects by name, counting how often each runs.
class FormHost : public QMainWindow
{
    Q_OBJECT
public:
    explicit FormHost(const QString &objectName = {})
    {
        setObjectName(objectName);
        form.setupUi(this);
    }
    MainWindowForm form;
    int newRecordClicks = 0;
    int selectDirectoryClicks = 0;
    int selectAppClicks = 0;

private slots:
    void on_pushButton_newRecord_clicked() { ++newRecordClicks; }
    void on_pushButton_selectDirectory_clicked() { ++selectDirectoryClicks; }
    void on_pushButton_SelectApp_clicked() { ++selectAppClicks; }
};

class MainWindowFormTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { host.reset(new FormHost); }
    void cleanup() { host.reset(); }

    void window();
    void keepsAnExistingObjectName_data();
    void keepsAnExistingObjectName();
    void creationOrderIsTabOrder();
    void rows_data();
    void rows();
    void texts_data();
    void texts();
    void sizePoliciesAndFonts_data();
    void sizePoliciesAndFonts();
    void spinBoxes_data();
    void spinBoxes();
    void initialStates();
    void eachButtonReachesItsSlotOnce_data();
    void eachButtonReachesItsSlotOnce();
    void mainWindowHasExactlyThreeButtonSlots();

private:
    QScopedPointer<FormHost> host;
};

namespace {

const QStringList widgetNamesInOrder = {
    QStringLiteral("pushButton_selectDirectory"),
    QStringLiteral("lineEdit_workingDirectory"),
    QStringLiteral("label_status"),
    QStringLiteral("label_time"),
    QStringLiteral("label_3"),
    QStringLiteral("spinBox_startPostpone"),
    QStringLiteral("checkBox_3beeps"),
    QStringLiteral("label_5"),
    QStringLiteral("lineEdit_PathToRunProgram"),
    QStringLiteral("pushButton_SelectApp"),
    QStringLiteral("label_6"),
    QStringLiteral("spinBox_videoLength"),
    QStringLiteral("checkbox_showVideo"),
    QStringLiteral("label_4"),
    QStringLiteral("comboBox_chooseCamera"),
    QStringLiteral("pushButton_newRecord"),
};

QStringList namesOf(QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        names << (item->widget() ? item->widget()->objectName() : item->layout()->objectName());
    }
    return names;
}

} // namespace

void MainWindowFormTest::window()
{
    QCOMPARE(host->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(host->size(), QSize(680, 239));
    QCOMPARE(host->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(host->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(host->font().pointSize(), 12);
    QCOMPARE(host->centralWidget(), host->form.centralWidget);
    QCOMPARE(host->centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(host->centralWidget()->layout(), host->form.verticalLayout);
    QVERIFY(!host->menuWidget());
    QVERIFY(!host->findChild<QStatusBar *>());
    QCOMPARE(host->form.verticalLayout->spacing(), 6);
    QCOMPARE(host->form.verticalLayout->contentsMargins(), QMargins(11, 11, 11, 11));
    for (const QString &name : widgetNamesInOrder) {
        auto *widget = host->findChild<QWidget *>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->parentWidget(), host->form.centralWidget);
        QCOMPARE(widget->font().pointSize(), 12);
    }
}

void MainWindowFormTest::keepsAnExistingObjectName_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unnamed") << QString() << QStringLiteral("MainWindow");
    QTest::newRow("named") << QStringLiteral("customName") << QStringLiteral("customName");
}

void MainWindowFormTest::keepsAnExistingObjectName()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    FormHost named(given);
    QCOMPARE(named.objectName(), expected);
}

void MainWindowFormTest::creationOrderIsTabOrder()
{
    QStringList chain;
    for (QWidget *w = host->nextInFocusChain(); w != host.data(); w = w->nextInFocusChain()) {
        if (widgetNamesInOrder.contains(w->objectName()))
            chain << w->objectName();
    }
    QCOMPARE(chain, widgetNamesInOrder);

    QStringList created;
    for (QObject *child : host->form.centralWidget->children()) {
        if (child->isWidgetType())
            created << child->objectName();
    }
    QCOMPARE(created, widgetNamesInOrder);
}

void MainWindowFormTest::rows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("layoutName");
    QTest::addColumn<QStringList>("contents");
    QTest::newRow("1 directory") << 0 << "horizontalLayout"
                                 << QStringList{"pushButton_selectDirectory",
                                                "lineEdit_workingDirectory"};
    QTest::newRow("2 status") << 1 << "horizontalLayout_3"
                              << QStringList{"label_status", "label_time"};
    QTest::newRow("3 postpone") << 2 << "horizontalLayout_4"
                                << QStringList{"label_3", "spinBox_startPostpone",
                                               "checkBox_3beeps"};
    QTest::newRow("4 program") << 3 << "horizontalLayout_5"
                               << QStringList{"label_5", "lineEdit_PathToRunProgram",
                                              "pushButton_SelectApp"};
    QTest::newRow("5 length") << 4 << "horizontalLayout_6"
                              << QStringList{"label_6", "spinBox_videoLength"};
    QTest::newRow("6 preview switch") << 5 << "checkbox_showVideo" << QStringList();
    QTest::newRow("7 camera") << 6 << "horizontalLayout_2"
                              << QStringList{"label_4", "comboBox_chooseCamera",
                                             "pushButton_newRecord"};
}

void MainWindowFormTest::rows()
{
    QFETCH(int, row);
    QFETCH(QString, layoutName);
    QFETCH(QStringList, contents);
    QCOMPARE(host->form.verticalLayout->count(), 7);
    QLayoutItem *item = host->form.verticalLayout->itemAt(row);
    if (contents.isEmpty()) {
        QVERIFY(item->widget());
        QCOMPARE(item->widget()->objectName(), layoutName);
        return;
    }
    QLayout *layout = item->layout();
    QVERIFY(layout);
    QVERIFY(qobject_cast<QHBoxLayout *>(layout));
    QCOMPARE(layout->objectName(), layoutName);
    QCOMPARE(layout->spacing(), 6);
    QCOMPARE(layout->contentsMargins(), QMargins());
    QCOMPARE(namesOf(layout), contents);
}

void MainWindowFormTest::texts_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");
    auto row = [](const char *name, const char *property, const char *text) {
        QTest::addRow("%s %s", name, property)
            << QString::fromLatin1(name) << QByteArray(property) << QString::fromLatin1(text);
    };
    row("MainWindow", "windowTitle", "eyeblink recorder");
    row("pushButton_selectDirectory", "text", "Select directory");
    row("lineEdit_workingDirectory", "placeholderText", "Please select working directory");
    row("lineEdit_workingDirectory", "text", "");
    row("label_status", "text", "ready");
    row("label_time", "text", "00:00");
    row("label_3", "text", "Postpone start of the recording");
    row("spinBox_startPostpone", "suffix", " seconds");
    row("spinBox_startPostpone", "text", "0 seconds");
    row("checkBox_3beeps", "text", "3 beeps before start");
    row("label_5", "text", "Run this program before recording starts");
    row("lineEdit_PathToRunProgram", "text", "");
    row("pushButton_SelectApp", "text", "select app");
    row("label_6", "text", "Record video of length in seconds");
    row("spinBox_videoLength", "specialValueText", "");
    row("spinBox_videoLength", "suffix", " seconds");
    row("spinBox_videoLength", "text", "300 seconds");
    row("checkbox_showVideo", "text", "show video while recording [uses more processor time]");
    row("label_4", "text", "Camera");
    row("pushButton_newRecord", "text", "New record");
}

void MainWindowFormTest::texts()
{
    QFETCH(QString, objectName);
    QFETCH(QByteArray, property);
    QFETCH(QString, text);
    QObject *object =
        objectName == host->objectName() ? host.data() : host->findChild<QObject *>(objectName);
    QVERIFY(object);
    QCOMPARE(object->property(property.constData()).toString(), text);
}

void MainWindowFormTest::sizePoliciesAndFonts_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<bool>("ownFont");
    auto row = [](const char *name, QSizePolicy::Policy h, QSizePolicy::Policy v, bool font) {
        QTest::newRow(name) << QString::fromLatin1(name) << int(h) << int(v) << font;
    };
    using P = QSizePolicy;
    row("pushButton_selectDirectory", P::Preferred, P::Fixed, false);
    row("label_status", P::Maximum, P::Preferred, true);
    row("label_time", P::Preferred, P::Preferred, true);
    row("label_3", P::Preferred, P::Preferred, false);
    row("spinBox_startPostpone", P::Maximum, P::Fixed, false);
    row("label_5", P::Maximum, P::Preferred, false);
    row("label_6", P::Preferred, P::Preferred, false);
    row("spinBox_videoLength", P::Maximum, P::Fixed, false);
    row("label_4", P::Maximum, P::Preferred, false);
    row("pushButton_newRecord", P::Maximum, P::Fixed, true);
}

void MainWindowFormTest::sizePoliciesAndFonts()
{
    QFETCH(QString, objectName);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(bool, ownFont);
    auto *widget = host->findChild<QWidget *>(objectName);
    QVERIFY(widget);
    QCOMPARE(int(widget->sizePolicy().horizontalPolicy()), horizontal);
    QCOMPARE(int(widget->sizePolicy().verticalPolicy()), vertical);
    QCOMPARE(widget->sizePolicy().horizontalStretch(), 0);
    QCOMPARE(widget->sizePolicy().verticalStretch(), 0);
    QCOMPARE(widget->testAttribute(Qt::WA_SetFont), ownFont);
}

void MainWindowFormTest::spinBoxes_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<int>("initial");
    QTest::newRow("postponement") << "spinBox_startPostpone" << 0;
    QTest::newRow("length") << "spinBox_videoLength" << 300;
}

void MainWindowFormTest::spinBoxes()
{
    QFETCH(QString, objectName);
    QFETCH(int, initial);
    auto *spinBox = host->findChild<QSpinBox *>(objectName);
    QVERIFY(spinBox);
    QCOMPARE(spinBox->value(), initial);
    QCOMPARE(spinBox->minimum(), 0);
    QCOMPARE(spinBox->maximum(), 999999999);
    spinBox->setValue(999999999);
    QCOMPARE(spinBox->value(), 999999999);
    spinBox->setValue(1000000000);
    QCOMPARE(spinBox->value(), 999999999);
    spinBox->setValue(-1);
    QCOMPARE(spinBox->value(), 0);
}

void MainWindowFormTest::initialStates()
{
    const MainWindowForm &form = host->form;
    QVERIFY(!form.checkBox_3beeps->isChecked());
    QVERIFY(!form.checkbox_showVideo->isChecked());
    QCOMPARE(form.comboBox_chooseCamera->count(), 0);
    QVERIFY(!form.lineEdit_workingDirectory->isReadOnly());
    QVERIFY(!form.lineEdit_PathToRunProgram->isReadOnly());
    for (QWidget *widget : host->findChildren<QWidget *>())
        QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
}

void MainWindowFormTest::eachButtonReachesItsSlotOnce_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("newRecord");
    QTest::addColumn<int>("selectDirectory");
    QTest::addColumn<int>("selectApp");
    QTest::newRow("new record") << "pushButton_newRecord" << 1 << 0 << 0;
    QTest::newRow("select directory") << "pushButton_selectDirectory" << 0 << 1 << 0;
    QTest::newRow("select app") << "pushButton_SelectApp" << 0 << 0 << 1;
}

void MainWindowFormTest::eachButtonReachesItsSlotOnce()
{
    QFETCH(QString, button);
    QFETCH(int, newRecord);
    QFETCH(int, selectDirectory);
    QFETCH(int, selectApp);
    auto *pushButton = host->findChild<QPushButton *>(button);
    QVERIFY(pushButton);
    QTest::mouseClick(pushButton, Qt::LeftButton);
    QCOMPARE(host->newRecordClicks, newRecord);
    QCOMPARE(host->selectDirectoryClicks, selectDirectory);
    QCOMPARE(host->selectAppClicks, selectApp);
}

void MainWindowFormTest::mainWindowHasExactlyThreeButtonSlots()
{
    QStringList byName;
    const QMetaObject &meta = MainWindow::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QByteArray name = meta.method(i).name();
        if (name.startsWith("on_"))
            byName << QString::fromLatin1(meta.method(i).methodSignature());
    }
    QCOMPARE(byName, (QStringList{"on_pushButton_newRecord_clicked()",
                                  "on_pushButton_selectDirectory_clicked()",
                                  "on_pushButton_SelectApp_clicked()"}));
}

QTEST_MAIN(MainWindowFormTest)
#include "tst_MainWindowForm.moc"
