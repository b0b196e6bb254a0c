#pragma once

#include "CommandLine.h"

namespace a3::cli {

// find TEXT [DIR...] and find --same FILE:NUMBER [DIR...]: one line for each
// patch found, "FILE<TAB>NUMBER<TAB>NAME", ordered by file, then number. A
// bank inside a file (a MIDI file's, an archive's) is named by its place
// there: "FILE › MEMBER, dump 2", as other commands name it. Exits
// as grep does: 0 when something was found, 1 when nothing was, 2 when a
// folder or the FILE could not be read, there is nothing to search (no DIR
// and no library folders) or the command line is wrong.
int findCommand(const Arguments& arguments);

} // namespace a3::cli
