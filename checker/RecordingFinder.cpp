#include "RecordingFinder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

// DDMMYYYY_HHMMSS_cam, with _2, _3, ... for a later recording of the same second.
bool isRecordingName(const QString &baseName)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d{8}_\\d{6}_cam(_\\d+)?$"));
    return stamp.match(baseName).hasMatch();
}

bool isRecordingFile(const QFileInfo &file)
{
    const QString suffix = file.suffix();
    if (suffix == QLatin1String("avi"))
        return true;
    return (suffix == QLatin1String("txt") || suffix == QLatin1String("json")) &&
           isRecordingName(file.completeBaseName());
}

// Numbers by their value, so that record folder 2 comes before 10; the rest by character.
bool naturalLess(const QString &one, const QString &other)
{
    int i = 0;
    int j = 0;
    while (i < one.size() && j < other.size()) {
        if (one[i].isDigit() && other[j].isDigit()) {
            const int numberStart = i;
            const int otherStart = j;
            while (i < one.size() && one[i].isDigit())
                ++i;
            while (j < other.size() && other[j].isDigit())
                ++j;
            const QString number = one.mid(numberStart, i - numberStart);
            const QString otherNumber = other.mid(otherStart, j - otherStart);
            if (number.size() != otherNumber.size())
                return number.size() < otherNumber.size();
            if (number != otherNumber)
                return number < otherNumber;
        } else if (one[i] != other[j]) {
            return one[i] < other[j];
        } else {
            ++i;
            ++j;
        }
    }
    return one.size() - i < other.size() - j;
}

bool canRead(const QFileInfo &folder)
{
    return folder.isReadable() && folder.isExecutable();
}

// The folders given and every folder inside them that cannot be read, which the search for
// files passes over without a word.
QVector<RecordingFinder::Recording> unreadableFolders(const QString &top)
{
    QVector<RecordingFinder::Recording> unreadable;
    if (!canRead(QFileInfo(top)))
        unreadable.append({top, {}, true});
    QDirIterator folders(top, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden,
                         QDirIterator::Subdirectories);
    while (folders.hasNext()) {
        const QFileInfo folder(folders.next());
        if (!canRead(folder))
            unreadable.append({folder.filePath(), {}, true});
    }
    return unreadable;
}

} // namespace

QString RecordingFinder::Recording::file(const QString &suffix) const
{
    return QDir(folder).filePath(baseName + suffix);
}

QVector<RecordingFinder::Recording> RecordingFinder::find(const QStringList &folders)
{
    QSet<QString> seen;
    QVector<Recording> recordings;
    for (const QString &folder : folders) {
        recordings += unreadableFolders(folder);
        // System: FIFOs, devices and sockets too.
        QDirIterator files(folder, QDir::Files | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QFileInfo file(files.next());
            const Recording recording{file.path(), file.completeBaseName(), false};
            if (isRecordingFile(file) && !seen.contains(recording.file({}))) {
                seen.insert(recording.file({}));
                recordings.append(recording);
            }
        }
    }
    std::sort(recordings.begin(), recordings.end(),
              [](const Recording &one, const Recording &other) {
                  if (one.folder != other.folder)
                      return naturalLess(one.folder, other.folder);
                  return naturalLess(one.baseName, other.baseName);
              });
    return recordings;
}
