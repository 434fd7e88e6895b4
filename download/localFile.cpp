#include "download/localFile.h"

#include "platform/files.h"

namespace {

int SeekFromStart(std::FILE* file, int64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

int SeekToEnd(std::FILE* file) {
#ifdef _WIN32
    return _fseeki64(file, 0, SEEK_END);
#else
    return fseeko(file, 0, SEEK_END);
#endif
}

int64_t Tell(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

}  // namespace

int64_t LocalFileSize(const char* path) {
    FileHandle file(platform::OpenFile(path, "rb"));
    if (!file || SeekToEnd(file.get()) != 0) {
        return 0;
    }
    const int64_t size = Tell(file.get());
    return size > 0 ? size : 0;
}

FileHandle OpenFileAt(const char* path, int64_t offset) {
    FileHandle file(platform::OpenFile(path, "rb+"));
    if (file && SeekFromStart(file.get(), offset) != 0) {
        file.reset();
    }
    return file;
}

FileHandle OpenFileForReadingAt(const char* path, int64_t offset) {
    FileHandle file(platform::OpenFile(path, "rb"));
    if (file && SeekFromStart(file.get(), offset) != 0) {
        file.reset();
    }
    return file;
}

FileHandle CreateFileEmpty(const char* path) {
    return FileHandle(platform::OpenFile(path, "wb+"));
}

std::string FileOpenWarning(const char* path) {
    std::string text = "cHttp::OnExecute :: file open error (-31)";
    if (platform::LastOpenFailure() == platform::OpenFailure::kLink) {
        text += std::string(" ") + path + ": a link stands on its way and is not followed";
    }
    return text;
}

bool CloseFile(FileHandle& file) {
    std::FILE* open = file.release();
    return open == nullptr || std::fclose(open) == 0;
}
