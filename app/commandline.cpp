#include "app/commandline.h"

#include <cstring>

bool FindRestartTarget(const char* commandLine, std::string* target) {
    static const char kKey[] = "restart=";
    static const char kExe[] = ".exe";
    const size_t keyLength = sizeof kKey - 1, exeLength = sizeof kExe - 1;
    if (!commandLine || std::strncmp(commandLine, kKey, keyLength) != 0) return false;
    const std::string path(commandLine + keyLength);
    if (path.size() <= exeLength) return false;
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '"') return false;
    }
    for (size_t i = 0; i < exeLength; ++i) {
        char c = path[path.size() - exeLength + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kExe[i]) return false;
    }
    if (target) *target = path;
    return true;
}
