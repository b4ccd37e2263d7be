// `kova-service seed DIR`: the demo data set (database, local CA, server
// certificate, customer PFX files), described in DIR/seed.json and printed.
#pragma once

#include <string>

namespace kovasvc {

// PBKDF2 iterations for the seeded passwords: enough to be a real hash, few
// enough that a load run of thousands of sign-ins stays short.
constexpr int kDefaultIterations = 20000;

int SeedCommand(const std::string& dir, int iterations);

} // namespace kovasvc
