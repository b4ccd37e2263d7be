#include "app/commandline.h"

#include <cstring>

bool FindRestartTarget(const char* commandLine, std::string* target) {
    static const char kKey[] = "restart=";
    if (!commandLine) return false;
    const char* at = std::strstr(commandLine, kKey);
    if (!at) return false;
    if (target) target->assign(at + sizeof kKey - 1);
    return true;
}
