#include "app/folderWalk.h"

namespace app {

std::vector<std::string> FoldersAlong(const std::string& path, char separator, bool firstIsDrive) {
    std::vector<std::string> folders;
    size_t first = path.find(separator);
    if (first == std::string::npos) {
        return folders;
    }
    if (!firstIsDrive && first > 0) {
        folders.push_back(path.substr(0, first));
    }
    for (size_t at = path.find(separator, first + 1); at != std::string::npos;
         at = path.find(separator, at + 1)) {
        folders.push_back(path.substr(0, at));
    }
    if (path.back() != separator) {
        folders.push_back(path);
    }
    return folders;
}

}  // namespace app
