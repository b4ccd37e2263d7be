// Linux half: the new file is still empty when its mode is narrowed.
#include <sys/stat.h>

#include <cstdio>

#include "net/spoolfile.h"

namespace net {

void RestrictToOwner(File& file) {
    if (file.IsOpen()) fchmod(fileno(file.stream()), S_IRUSR | S_IWUSR);
}

} // namespace net
