// Whether what a package still needs fits on the volume of its download folder, worked out
// before anything is fetched.
#pragma once

#include <cstdint>
#include <string>

struct Manifest;
class VerifiedRecord;

// Bytes the listed files still need, the current folder being the download folder `folder`
// (with its separator): each file's listed size less what of it is on the disk already (never
// below 0), nothing for a file the record knows to match as it is.
int64_t BytesStillNeeded(const Manifest& manifest, const std::string& folder,
                         VerifiedRecord& verified);
// The warning when `needed` bytes do not fit in the `free` ones, in the panel's unit; empty
// when they fit, or when the free space is unknown (-1: a full disk is told when it comes).
std::string RoomShortage(int64_t needed, int64_t free);
