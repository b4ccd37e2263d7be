// The command line: `kova-service COMMAND [DIR] [--key value]...`.
#pragma once

#include <map>
#include <string>

namespace kovasvc {

struct CommandLine {
    std::string command;
    std::string dir;                            // positional DIR or --data
    std::map<std::string, std::string> options; // "--https-port 0" -> {"https-port", "0"}, "--admin" -> {"admin", ""}
};

// Every option takes a value except the switch --admin; a repeated option or
// a second positional argument is an error.
bool ParseCommandLine(int argc, char** argv, CommandLine& out, std::string& error);
// 0..65535; 0 asks the system for a free port.
bool ParsePort(const std::string& text, int& port);
bool ParseInt(const std::string& text, int min, int max, int& value);
// Numeric 127.0.0.0/8 or ::1 only: the service never listens beyond loopback.
bool IsLoopbackAddress(const std::string& address);

} // namespace kovasvc
