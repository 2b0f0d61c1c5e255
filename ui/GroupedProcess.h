#pragma once

#include <QProcess>

// A process whose program runs in a process group of its own, so that the program and every
// process it starts can be ended together. The one place that knows how groups are made and
// signalled: on systems without process groups the group is the program alone.
class GroupedProcess : public QProcess
{
public:
    explicit GroupedProcess(QObject *parent = nullptr);

    // Starts program, with no arguments, as the leader of a new group.
    void startInGroup(const QString &program, OpenMode mode);
    // Asks every process of the group to end (SIGTERM on Unix).
    void askGroupToEnd();
    // Kills every process still in the group; false when none was left.
    bool killGroup();
    // How the ended program ended: "code 3", or what crashed it ("signal 9" on Unix).
    QString exitText() const;

protected:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void setupChildProcess() override;
#endif

private:
    // The group's id, which stays valid while the group has members even after the program
    // itself has ended and processId() has become 0.
    qint64 group = 0;
};
