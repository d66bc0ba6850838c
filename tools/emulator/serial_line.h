#pragma once

#include <string>

#include "base/file_descriptor.h"

namespace emulator {

// A pseudo-terminal that plays a scale's RS-232 port. The master end is the scale's; the other
// end is what a serial-to-network bridge opens, through a symbolic link at a stable path.

// Opens a pseudo-terminal in raw mode and points `link` at its other end, replacing an earlier
// (dangling) link. Returns the master end, non-blocking. Throws std::runtime_error when the
// terminal cannot be had or `link` exists and is not a symbolic link.
station::FileDescriptor OpenSerialLine(const std::string& link, int baud);

// Removes `link` when it is still a symbolic link (the emulator's own, not a file put there).
void RemoveSerialLink(const std::string& link);

// Whether the other end is open: nobody listening on a real line means its bytes are lost.
bool FarEndOpen(int master);

}  // namespace emulator
