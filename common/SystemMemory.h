#pragma once

#include <QtGlobal>

// What the operating system tells of the machine's memory.
namespace SystemMemory {

// The machine's physical memory in bytes; 0 where it cannot tell.
qint64 physicalBytes();

} // namespace SystemMemory
