#pragma once

#include "tests/support/StandInRecorder.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

// A shown main window on a working directory, wired to a stand-in recorder, with spies on
// the window's requests and its widgets at hand.
class WindowUnderTest
{
public:
    explicit WindowUnderTest(const QString &workingDirectory,
                             const QStringList &cameraNames = {"First stand-in camera",
                                                               "Second stand-in camera"},
                             int cameraIndex = 0)
        : earlierPreviews(previewWindows()), window(workingDirectory, 1, cameraIndex, cameraNames),
          starts(&window, SIGNAL(startRecording(int))), stops(&window, SIGNAL(stopRecording())),
          folders(&window, SIGNAL(workingDirectoryChanged(QString))),
          button(widget<QPushButton>("pushButton_newRecord")),
          status(widget<QLabel>("label_status")), time(widget<QLabel>("label_time")),
          directoryField(widget<QLineEdit>("lineEdit_workingDirectory")),
          programField(widget<QLineEdit>("lineEdit_PathToRunProgram")),
          postpone(widget<QSpinBox>("spinBox_startPostpone")),
          length(widget<QSpinBox>("spinBox_videoLength")),
          beeps(widget<QCheckBox>("checkBox_3beeps")),
          showVideo(widget<QCheckBox>("checkbox_showVideo")),
          cameras(widget<QComboBox>("comboBox_chooseCamera"))
    {
        for (const QPointer<QWidget> &candidate : previewWindows()) {
            if (!earlierPreviews.contains(candidate))
                preview = candidate;
        }
        recorder.attachTo(&window);
        window.show();
    }

    void press() { button->click(); }

private:
    // The preview is a top-level window of its own, found by its title among those that
    // existed before this window was made.
    static QList<QPointer<QWidget>> previewWindows()
    {
        QList<QPointer<QWidget>> previews;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->windowTitle() == QStringLiteral("Camera output"))
                previews << widget;
        }
        return previews;
    }
    template <typename Widget> Widget *widget(const char *name)
    {
        return window.findChild<Widget *>(QString::fromLatin1(name));
    }
    const QList<QPointer<QWidget>> earlierPreviews;

public:
    MainWindow window;
    StandInRecorder recorder;
    QSignalSpy starts;
    QSignalSpy stops;
    QSignalSpy folders;
    QPushButton *const button;
    QLabel *const status;
    QLabel *const time;
    QLineEdit *const directoryField;
    QLineEdit *const programField;
    QSpinBox *const postpone;
    QSpinBox *const length;
    QCheckBox *const beeps;
    QCheckBox *const showVideo;
    QComboBox *const cameras;
    QPointer<QWidget> preview;
};
