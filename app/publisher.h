// Who may update this program: a downloaded update is kept, and started, only
// when its Authenticode signature holds and its signer's key is this
// program's own or one the build names (so that an operator can move to a new
// key with one release that names both). A program that is not signed itself
// accepts no update.
#pragma once

#include <string>
#include <vector>

#include "platform/authenticode.h"

// Reads "hex;hex;..." (64 hex digits a key, either case); false, with *keys
// untouched, when any entry is not a key.
bool ParseKeyList(const std::string& text, std::vector<platform::KeyDigest>* keys);

// This program's signer key followed by the keys the build names; empty when
// the program carries no signature.
std::vector<platform::KeyDigest> AcceptedPublisherKeys();

// True when `signer` is one of `accepted`. Keys only: subjects and issuers
// play no part.
bool IsAcceptedKey(const platform::KeyDigest& signer, const std::vector<platform::KeyDigest>& accepted);

// The check of a held file (see platform::VerifyFileSignature).
bool IsFromOurPublisher(const platform::ReadLockedFile& file, const std::string& path);
// The same for a file by its path, held while it is checked: the service
// client's check of a saved download (KovaCenter::UpdateCheck).
bool IsUpdateFromOurPublisher(const std::string& path);
