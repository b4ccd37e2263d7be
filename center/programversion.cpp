#include "center/programversion.h"

const char* ProgramVersion() { return KOVA_VERSION; }
