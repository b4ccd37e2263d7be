// The note of a failed installation: restart mode, the only process that
// learns that the copy over the installed program failed, names the version
// it could not install in the data folder, so that later starts do not close
// again and again for that same version.
#pragma once

#include <string>

// Writes the note (creating the data folder when it is missing); false when
// it could not be written.
bool WriteFailedUpdate(const std::string& dataFolder, const std::string& version);
// The version the note names; empty when there is none or it is unreadable.
std::string ReadFailedUpdate(const std::string& dataFolder);
void ForgetFailedUpdate(const std::string& dataFolder);
