// Spool files: the multipart bodies with files, written to disk and streamed
// from there. They hold the certificate file and its password, so they are
// created fresh (never reusing an existing file or following a link) and
// readable by the current user alone.
#pragma once

#include <cstdint>
#include <string>

#include "files/filesystem.h"

namespace net {

// The next value of the process-wide spool counter (first call: 1); safe
// across worker threads.
uint32_t NextSpoolCounter();

// Creates "http_post_%02d.body" in `folder` for binary writing. A name that is
// still taken by another body is skipped for the next counter value, at most
// ten times. False when `folder` is empty or nothing could be created.
bool CreateSpoolFile(const std::string& folder, std::string* path, File* file);

} // namespace net
