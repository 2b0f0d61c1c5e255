#include "stimulus/SerialRunWindow.h"

void SerialRunWindow::open()
{
    opened = true;
    keptLines = 0;
    droppedLines = 0;
    linesBetweenRuns = 0;
}

void SerialRunWindow::close()
{
    opened = false;
}

bool SerialRunWindow::admit()
{
    if (!opened) {
        ++linesBetweenRuns;
        return false;
    }
    if (keptLines < cap) {
        ++keptLines;
        return true;
    }
    ++droppedLines;
    return false;
}
