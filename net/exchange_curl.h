// Linux build only: the trust anchors of the curl exchange.
#pragma once

#include <string>

namespace net {

// A PEM file of CA certificates that replaces the system's store for
// "https://" exchanges (tests and the local demo service); empty restores the
// system's store. Verification of peer and host name stays on either way.
void SetTrustAnchorsFile(const std::string& path);

} // namespace net
