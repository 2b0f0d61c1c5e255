#include "runrecord/ConfirmedRows.h"

#include <utility>

bool ConfirmedRows::open(const std::string &fileName, const std::string &header)
{
    waiting.clear();
    rowsWritten = 0;
    file.clear();
    file.open(fileName);
    if (!file.is_open())
        return false;
    file << header;
    file.flush();
    return bool(file);
}

void ConfirmedRows::queue(std::string row)
{
    waiting.push_back(std::move(row));
}

void ConfirmedRows::writeConfirmed(int framesInFile)
{
    if (rowsWritten >= framesInFile || waiting.empty())
        return;
    while (rowsWritten < framesInFile && !waiting.empty()) {
        file << waiting.front();
        waiting.pop_front();
        ++rowsWritten;
    }
    file.flush();
}

bool ConfirmedRows::close(int framesInFile)
{
    const bool wasOpen = file.is_open();
    if (wasOpen)
        writeConfirmed(framesInFile);
    waiting.clear();
    const bool complete = wasOpen && file.good();
    file.close();
    return complete && !file.fail();
}
