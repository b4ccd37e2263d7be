// Commands of the operator, run on a data folder while the service may be
// serving it: approve an application, set the manifest, show the records.
#pragma once

#include "options.h"

namespace kovasvc {

// approve DIR --cust ID --branch NO --account NO
int ApproveCommand(const CommandLine& cl);
// manifest DIR [--version V] [--file PATH [--name NAME] | --file ""] [--url URL | --url ""]
int ManifestCommand(const CommandLine& cl);
// dump DIR: accounts, applications and manifest as JSON on stdout
int DumpCommand(const CommandLine& cl);

} // namespace kovasvc
