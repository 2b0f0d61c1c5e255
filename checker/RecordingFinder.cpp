#include "checker/RecordingFinder.h"

#include "runrecord/RecordingNames.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

// Every video, and the text files and run records that recordings name.
bool isRecordingFile(const QFileInfo &file)
{
    const QString suffix = QLatin1Char('.') + file.suffix();
    if (suffix == QLatin1String(RecordingNames::videoSuffix))
        return true;
    return (suffix == QLatin1String(RecordingNames::textSuffix) ||
            suffix == QLatin1String(RecordingNames::runRecordSuffix)) &&
           RecordingNames::isRecordingBaseName(file.completeBaseName());
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

QString RecordingFinder::Recording::video() const
{
    return file(QLatin1String(RecordingNames::videoSuffix));
}

QString RecordingFinder::Recording::text() const
{
    return file(QLatin1String(RecordingNames::textSuffix));
}

QString RecordingFinder::Recording::runRecord() const
{
    return file(QLatin1String(RecordingNames::runRecordSuffix));
}

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
