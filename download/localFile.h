// The few operations on local files that a transfer needs, with 64-bit offsets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/wholeFile.h"

// Size of an existing file in bytes, 0 when there is none.
int64_t LocalFileSize(const char* path);
// Opens an existing file for reading and writing at `offset`; null when that fails.
FileHandle OpenFileAt(const char* path, int64_t offset);
// Opens an existing file for reading at `offset`; null when that fails.
FileHandle OpenFileForReadingAt(const char* path, int64_t offset);
// Creates the file, or empties it, for reading and writing; null when that fails.
FileHandle CreateFileEmpty(const char* path);
// The warning for a file of `path` that the calling thread could not open just now; it names
// the file when a link stood on its way (a link is never followed below the download folder).
std::string FileOpenWarning(const char* path);
// Writes out what is buffered and closes the file (none: nothing to do); false when a byte did
// not reach it.
bool CloseFile(FileHandle& file);
