#include "ui/MainWindowForm.h"

#include "ui/ElidingComboBox.h"
#include "ui/StatusLabel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int spinBoxMaximum = 999999999;
constexpr int layoutSpacing = 6;
constexpr int pageMargin = 11;

void setSizePolicy(QWidget *widget, QSizePolicy::Policy horizontal, QSizePolicy::Policy vertical)
{
    QSizePolicy policy(horizontal, vertical);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    policy.setHeightForWidth(widget->sizePolicy().hasHeightForWidth());
    widget->setSizePolicy(policy);
}

template <typename Widget> Widget *createNamed(QWidget *parent, const char *objectName)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(objectName));
    return widget;
}

QHBoxLayout *createRow(const char *objectName)
{
    auto *row = new QHBoxLayout();
    row->setSpacing(layoutSpacing);
    row->setObjectName(QString::fromLatin1(objectName));
    return row;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text, nullptr, -1);
}

} // namespace

void MainWindowForm::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(680, 239);
    setSizePolicy(window, QSizePolicy::Preferred, QSizePolicy::Preferred);
    QFont font;
    font.setPointSize(12);
    window->setFont(font);

    centralWidget = createNamed<QWidget>(window, "centralWidget");
    verticalLayout = new QVBoxLayout(centralWidget);
    verticalLayout->setSpacing(layoutSpacing);
    verticalLayout->setContentsMargins(pageMargin, pageMargin, pageMargin, pageMargin);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    horizontalLayout = createRow("horizontalLayout");
    pushButton_selectDirectory =
        createNamed<QPushButton>(centralWidget, "pushButton_selectDirectory");
    setSizePolicy(pushButton_selectDirectory, QSizePolicy::Preferred, QSizePolicy::Fixed);
    pushButton_selectDirectory->setMinimumSize(QSize(0, 0));
    horizontalLayout->addWidget(pushButton_selectDirectory);
    lineEdit_workingDirectory = createNamed<QLineEdit>(centralWidget, "lineEdit_workingDirectory");
    horizontalLayout->addWidget(lineEdit_workingDirectory);
    verticalLayout->addLayout(horizontalLayout);

    horizontalLayout_3 = createRow("horizontalLayout_3");
    // The longest status is wider than the window: it takes a second line instead.
    label_status = createNamed<StatusLabel>(centralWidget, "label_status");
    setSizePolicy(label_status, QSizePolicy::Maximum, QSizePolicy::Preferred);
    label_status->setFont(font);
    horizontalLayout_3->addWidget(label_status);
    label_time = createNamed<QLabel>(centralWidget, "label_time");
    setSizePolicy(label_time, QSizePolicy::Preferred, QSizePolicy::Preferred);
    label_time->setFont(font);
    horizontalLayout_3->addWidget(label_time);
    verticalLayout->addLayout(horizontalLayout_3);

    horizontalLayout_4 = createRow("horizontalLayout_4");
    label_3 = createNamed<QLabel>(centralWidget, "label_3");
    setSizePolicy(label_3, QSizePolicy::Preferred, QSizePolicy::Preferred);
    horizontalLayout_4->addWidget(label_3);
    spinBox_startPostpone = createNamed<QSpinBox>(centralWidget, "spinBox_startPostpone");
    setSizePolicy(spinBox_startPostpone, QSizePolicy::Maximum, QSizePolicy::Fixed);
    spinBox_startPostpone->setMaximum(spinBoxMaximum);
    horizontalLayout_4->addWidget(spinBox_startPostpone);
    checkBox_3beeps = createNamed<QCheckBox>(centralWidget, "checkBox_3beeps");
    horizontalLayout_4->addWidget(checkBox_3beeps);
    verticalLayout->addLayout(horizontalLayout_4);

    horizontalLayout_5 = createRow("horizontalLayout_5");
    label_5 = createNamed<QLabel>(centralWidget, "label_5");
    setSizePolicy(label_5, QSizePolicy::Maximum, QSizePolicy::Preferred);
    horizontalLayout_5->addWidget(label_5);
    lineEdit_PathToRunProgram = createNamed<QLineEdit>(centralWidget, "lineEdit_PathToRunProgram");
    horizontalLayout_5->addWidget(lineEdit_PathToRunProgram);
    pushButton_SelectApp = createNamed<QPushButton>(centralWidget, "pushButton_SelectApp");
    horizontalLayout_5->addWidget(pushButton_SelectApp);
    verticalLayout->addLayout(horizontalLayout_5);

    horizontalLayout_6 = createRow("horizontalLayout_6");
    label_6 = createNamed<QLabel>(centralWidget, "label_6");
    setSizePolicy(label_6, QSizePolicy::Preferred, QSizePolicy::Preferred);
    horizontalLayout_6->addWidget(label_6);
    spinBox_videoLength = createNamed<QSpinBox>(centralWidget, "spinBox_videoLength");
    setSizePolicy(spinBox_videoLength, QSizePolicy::Maximum, QSizePolicy::Fixed);
    spinBox_videoLength->setMaximum(spinBoxMaximum);
    spinBox_videoLength->setValue(300);
    horizontalLayout_6->addWidget(spinBox_videoLength);
    verticalLayout->addLayout(horizontalLayout_6);

    checkbox_showVideo = createNamed<QCheckBox>(centralWidget, "checkbox_showVideo");
    verticalLayout->addWidget(checkbox_showVideo);

    horizontalLayout_2 = createRow("horizontalLayout_2");
    label_4 = createNamed<QLabel>(centralWidget, "label_4");
    setSizePolicy(label_4, QSizePolicy::Maximum, QSizePolicy::Preferred);
    horizontalLayout_2->addWidget(label_4);
    comboBox_chooseCamera = createNamed<ElidingComboBox>(centralWidget, "comboBox_chooseCamera");
    horizontalLayout_2->addWidget(comboBox_chooseCamera);
    pushButton_newRecord = createNamed<QPushButton>(centralWidget, "pushButton_newRecord");
    setSizePolicy(pushButton_newRecord, QSizePolicy::Maximum, QSizePolicy::Fixed);
    pushButton_newRecord->setFont(font);
    horizontalLayout_2->addWidget(pushButton_newRecord);
    verticalLayout->addLayout(horizontalLayout_2);

    window->setCentralWidget(centralWidget);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslateUi(QMainWindow *window)
{
    window->setWindowTitle(tr("eyeblink recorder"));
    pushButton_selectDirectory->setText(tr("Select directory"));
    lineEdit_workingDirectory->setPlaceholderText(tr("Please select working directory"));
    label_status->setText(tr("ready"));
    label_time->setText(tr("00:00"));
    label_3->setText(tr("Postpone start of the recording"));
    spinBox_startPostpone->setSuffix(tr(" seconds"));
    checkBox_3beeps->setText(tr("3 beeps before start"));
    label_5->setText(tr("Run this program before recording starts"));
    pushButton_SelectApp->setText(tr("select app"));
    label_6->setText(tr("Record video of length in seconds"));
    spinBox_videoLength->setSpecialValueText(QString());
    spinBox_videoLength->setSuffix(tr(" seconds"));
    checkbox_showVideo->setText(tr("show video while recording [uses more processor time]"));
    label_4->setText(tr("Camera"));
    pushButton_newRecord->setText(tr("New record"));
}
