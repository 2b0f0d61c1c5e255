#pragma once

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QSpinBox;
class StatusLabel;
class QVBoxLayout;
class QWidget;

// The widgets and layouts of the main window's single page, each member named after its
// object name and declared in creation order. The window's widget tree owns them all.
struct MainWindowForm
{
    QWidget *centralWidget = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QPushButton *pushButton_selectDirectory = nullptr;
    QLineEdit *lineEdit_workingDirectory = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    StatusLabel *label_status = nullptr;
    QLabel *label_time = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    QLabel *label_3 = nullptr;
    QSpinBox *spinBox_startPostpone = nullptr;
    QCheckBox *checkBox_3beeps = nullptr;
    QHBoxLayout *horizontalLayout_5 = nullptr;
    QLabel *label_5 = nullptr;
    QLineEdit *lineEdit_PathToRunProgram = nullptr;
    QPushButton *pushButton_SelectApp = nullptr;
    QHBoxLayout *horizontalLayout_6 = nullptr;
    QLabel *label_6 = nullptr;
    QSpinBox *spinBox_videoLength = nullptr;
    QCheckBox *checkbox_showVideo = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QLabel *label_4 = nullptr;
    QComboBox *comboBox_chooseCamera = nullptr;
    QPushButton *pushButton_newRecord = nullptr;

    // Builds the page into the window and connects the window's on_<name>_clicked slots.
    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);
};
