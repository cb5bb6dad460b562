#pragma once
// The program's start: one copy per bind address, the splash on top, the optional wait for
// an address on the command line, then the main window until it closes.

namespace tarnivel {

int runProgram(int argc, char *argv[]);

} // namespace tarnivel
