#include "core/folderWalk.h"

#include "core/documentText.h"

namespace core {

std::vector<size_t> SeparatorsIn(const std::string& path, char separator, unsigned codePage) {
    std::vector<size_t> separators;
    for (size_t at = 0; at < path.size(); ++at) {
        if (path[at] == separator) {
            separators.push_back(at);
        } else if (codePage != 0 && at + 1 < path.size() &&
                   IsLeadByte(static_cast<unsigned char>(path[at]), codePage)) {
            ++at;  // the character's second byte, whatever its value
        }
    }
    return separators;
}

bool EndsInSeparator(const std::string& path, char separator, unsigned codePage) {
    const std::vector<size_t> separators = SeparatorsIn(path, separator, codePage);
    return !separators.empty() && separators.back() + 1 == path.size();
}

std::vector<std::string> FoldersAlong(const std::string& path, char separator, bool firstIsDrive,
                                      unsigned codePage) {
    std::vector<size_t> separators = SeparatorsIn(path, separator, codePage);
    const bool endsInSeparator = !separators.empty() && separators.back() + 1 == path.size();
    std::vector<std::string> folders;
    if (separators.empty()) {
        return folders;
    }
    if (!firstIsDrive && separators.front() > 0) {
        folders.push_back(path.substr(0, separators.front()));
    }
    for (size_t i = 1; i < separators.size(); ++i) {
        folders.push_back(path.substr(0, separators[i]));
    }
    if (!endsInSeparator) {
        folders.push_back(path);
    }
    return folders;
}

}  // namespace core
