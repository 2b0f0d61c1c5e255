#pragma once

#include <QString>
#include <QTemporaryDir>

// A volume of its own with little room, for tests of what happens when a disk fills up: a
// memory file system mounted in a temporary folder, seen by this process and the programs it
// starts, and gone when the process ends even if it never unmounts. Needs the right to mount
// (root on Linux); elsewhere, or without it, it is not valid.
class SmallVolume
{
public:
    explicit SmallVolume(qint64 bytes);
    ~SmallVolume();
    SmallVolume(const SmallVolume &) = delete;
    SmallVolume &operator=(const SmallVolume &) = delete;

    // A volume is seen by the thread that mounts it and by the threads and programs started
    // after the first volume: call this before starting threads that are to write there.
    static void prepare();

    bool isValid() const { return mounted; }
    QString path() const { return folder.path(); }
    // Why it is not valid.
    QString error() const { return reason; }

private:
    QTemporaryDir folder;
    bool mounted = false;
    QString reason;
};
