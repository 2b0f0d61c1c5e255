#pragma once

#include "checker/RecordingFinder.h"
#include "eyelid/EyelidRegion.h"
#include "eyelid/EyelidTable.h"
#include "eyelid/EyelidThreshold.h"

#include <QString>
#include <QVector>

#include <optional>

// The eyelid measured afterwards from a recording's video, frame by frame as it decodes, into
// the same table that the recorder writes live: one row per line of the text file, with the
// line's time. The threshold is the given one or Otsu's on the first frame, as live.
class EyelidCheck
{
public:
    struct Settings
    {
        EyelidRegion region;
        std::optional<EyelidThreshold> threshold;
        // A recording's table is written only where it has none, unless this is set.
        bool replace = false;
    };
    enum class Outcome { Kept, Written, Failed };

    // The table's file for a recording.
    static QString tableFileName(const RecordingFinder::Recording &recording);
    // Measures the recording and writes its table, as settings say; why tells a failure.
    static Outcome write(const RecordingFinder::Recording &recording, const Settings &settings,
                         QString &why);
    // The rows measured from a recording's video and text file; nothing, with why, when they
    // cannot be.
    static std::optional<QVector<EyelidTable::Row>>
    measure(const RecordingFinder::Recording &recording, const Settings &settings, QString &why);
};
