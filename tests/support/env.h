// What the test's ctest entry handed it through the environment.
#pragma once

#include <cstdlib>
#include <string>

namespace testsupport {

// The variable's value, or "" when it is not set.
inline std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

} // namespace testsupport
