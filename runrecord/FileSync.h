#pragma once

class QFileDevice;
class QString;

// Hands what was written to an open file over to the disk and tells whether that worked: a
// write that the system took into its cache may still fail there, for want of room, say.
class FileSync
{
public:
    // False, with the system's reason in why, when the data did not reach the disk. Where the
    // system has no such call, only the file's own buffer is written.
    static bool toDisk(QFileDevice &file, QString *why);
};
