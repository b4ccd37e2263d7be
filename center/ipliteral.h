// What the public IP lookup accepts as the computer's address.
#pragma once

#include <string>

// An IPv4 address in dotted decimal or an IPv6 address in its text form, and
// nothing else: no host name, prefix length, zone, white space or control
// character.
bool IsIPAddressLiteral(const std::string& text);
