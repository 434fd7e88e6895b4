// The work folder: a folder of the user's own that holds the manifest, the version stamp, the
// transfer log and the record of verified files. Nobody else may be able to put or swap a file
// there, so a folder that belongs to someone else, or a link, is never used.
#pragma once

#include <string>

#include "platform/trust.h"

class cApp;

namespace app {

// Why `folder` cannot be the work folder; empty when it can, and `held` then holds it. A folder
// of the user's own that others may enter is made private first; every folder above it must be
// one that nobody but the user and the administrator can change, so that its path keeps
// naming the checked folder for the whole run.
std::string WorkFolderRefusal(const std::string& folder, platform::Held& held);

// Fills the application's work directory with the first usable candidate: the user's state
// folder, then the folder current at start, then the relative folder; each followed by the
// program's folder name, created private when missing. A refused candidate is named in a
// warning box with the folder used instead. False (after the warning) when none is usable.
bool PrepareWorkDirectory(cApp& application);

}  // namespace app
