#include "engine/LineFile.h"

#include "runrecord/FrameLine.h"

bool LineFile::open(const std::string &fileName)
{
    waiting.clear();
    written.clear();
    file.clear();
    file.open(fileName);
    return file.is_open();
}

void LineFile::frameQueued(qint64 ms)
{
    waiting.push_back(ms);
}

void LineFile::writeConfirmed(int framesInFile)
{
    if (lines() >= framesInFile)
        return;
    while (lines() < framesInFile && !waiting.empty()) {
        const qint64 ms = waiting.front();
        waiting.pop_front();
        file << FrameLine{lines(), ms}.text();
        written.append(ms);
    }
    file.flush();
}

bool LineFile::close(int framesInFile)
{
    const bool wasOpen = file.is_open();
    if (wasOpen)
        writeConfirmed(framesInFile);
    waiting.clear();
    const bool complete = wasOpen && file.good();
    file.close();
    return complete && !file.fail();
}
