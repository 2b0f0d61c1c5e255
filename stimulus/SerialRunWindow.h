#pragma once

// Which serial lines a run keeps: those that come from the press that begins it to its result,
// as many as the cap; the others of the run are only counted, so that a device that floods
// the port costs the recording neither time nor memory.
class SerialRunWindow
{
public:
    static constexpr int defaultCap = 10000;

    explicit SerialRunWindow(int cap = defaultCap) : cap(cap) {}

    // A run begins: its count starts from nothing.
    void open();
    // The run's result came: no line belongs to it any more.
    void close();
    bool isOpen() const { return opened; }

    // Whether a line that came now goes into the run's record; false outside a run, and,
    // counted as dropped, beyond the cap.
    bool admit();
    int kept() const { return keptLines; }
    int dropped() const { return droppedLines; }
    // Lines that came since the last run's result, or before the first run.
    int betweenRuns() const { return linesBetweenRuns; }

private:
    int cap;
    bool opened = false;
    int keptLines = 0;
    int droppedLines = 0;
    int linesBetweenRuns = 0;
};
