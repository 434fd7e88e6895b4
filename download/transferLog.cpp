#include "download/transferLog.h"

#include <cstdio>
#include <string>

#include "download/engineHost.h"
#include "platform/files.h"

void AppendTransferLog(const char* line) {
    cEngineHost* host = EngineHost();
    if (host == nullptr) {
        return;
    }
    const std::string path = host->WorkFilePath(kTransferLogName);
    // Binary append with an explicit CR LF keeps the file's bytes the same on every platform;
    // one fwrite of a short line is one append, so lines of different threads never mix.
    std::FILE* file = platform::OpenFile(path.c_str(), "ab");
    if (file == nullptr) {
        return;
    }
    const std::string text = std::string(line) + "\r\n";
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
    std::fclose(file);
}
