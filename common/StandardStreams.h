#pragma once

class BoundedOutput;

// The program's own standard output and error, each reached through a BoundedOutput, so that
// what this program and the programs it starts write there never holds up the program. One of
// each for the whole process, as the streams themselves; made on first use and taken down
// when the process ends.
class StandardStreams
{
public:
    static BoundedOutput &output();
    static BoundedOutput &error();
};
