// The program's own version, compared with the manifest's.
#pragma once

// Alone in its object file, so that a build of the program under another
// version (the update test's "next" program) links its own definition
// instead of the library's.
const char* ProgramVersion();
