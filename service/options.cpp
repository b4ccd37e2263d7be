#include "options.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kovasvc {
namespace {

// Switches take no value; they are stored with an empty one.
bool IsSwitch(const std::string& key) { return key == "admin"; }

} // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine& out, std::string& error) {
    if (argc < 2) {
        error = "no command";
        return false;
    }
    out.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) == 0) {
            std::string key = arg.substr(2);
            if (IsSwitch(key)) {
                if (out.options.count(key)) {
                    error = arg + " given twice";
                    return false;
                }
                out.options[key] = "";
                continue;
            }
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            if (key == "data") key = "dir";
            if (key == "dir" ? !out.dir.empty() : out.options.count(key) > 0) {
                error = arg + " given twice";
                return false;
            }
            if (key == "dir") out.dir = argv[++i];
            else out.options[key] = argv[++i];
        } else if (out.dir.empty()) {
            out.dir = arg;
        } else {
            error = "unexpected argument: " + arg;
            return false;
        }
    }
    return true;
}

bool ParseInt(const std::string& text, int min, int max, int& value) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < min || v > max) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParsePort(const std::string& text, int& port) { return ParseInt(text, 0, 65535, port); }

bool IsLoopbackAddress(const std::string& address) {
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) return std::memcmp(&v6, &in6addr_loopback, sizeof v6) == 0;
    return false;
}

} // namespace kovasvc
