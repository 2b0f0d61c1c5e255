#include "engine/LineFile.h"

#include "runrecord/FrameLine.h"

bool LineFile::open(const std::string &fileName)
{
    queuedTimes.clear();
    return rows.open(fileName);
}

void LineFile::frameQueued(qint64 ms)
{
    rows.queue(FrameLine{rows.queued(), ms}.text());
    queuedTimes.append(ms);
}

void LineFile::writeConfirmed(int framesInFile)
{
    rows.writeConfirmed(framesInFile);
}

bool LineFile::close(int framesInFile)
{
    const bool complete = rows.close(framesInFile);
    queuedTimes.resize(lines());
    return complete;
}
