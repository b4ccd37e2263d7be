// Windows half: the spool folder lies in the user's own temporary folder,
// whose inherited access list already admits only that user and the system;
// the file is created with the C runtime's read-write mode and keeps it.
#include "net/spoolfile.h"

namespace net {

void RestrictToOwner(File&) {}

} // namespace net
