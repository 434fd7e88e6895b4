#include "skin_layout.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace guitest {

Layout::Layout() {
    const char* other = std::getenv("DOWNLOADER_DOCUMENT_FILE");
    std::ifstream file(other != nullptr ? other : UX_DOCUMENT, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    loaded = document.Parse(text.str().c_str());
    if (!loaded) {
        return;
    }
    for (ButtonLayout& button : buttons) {
        cJson::Node* entry = document.root->Find("button")->GetNode(button.name);
        button.x = entry->GetNode("x")->GetInt();
        button.y = entry->GetNode("y")->GetInt();
    }
    cJson::Node* total = document.root->Find("progressbar")->GetNode("total");
    bar.x = total->GetNode("x")->GetInt();
    bar.y = total->GetNode("y")->GetInt();
    bar.width = total->GetNode("width")->GetInt();
    bar.height = total->GetNode("height")->GetInt();
    bar.background = total->GetNode("bg-color")->GetHex() & 0xFFFFFF;
    bar.foreground = total->GetNode("fg-color")->GetHex() & 0xFFFFFF;
    cJson::Node* folder = document.root->Find("folder");
    folderX = folder->GetNode("x")->GetInt();
    folderY = folder->GetNode("y")->GetInt();
    for (PanelEntryLayout& entry : panel) {
        cJson::Node* tag = document.root->Find("text")->GetNode("tag")->GetNode(entry.key);
        entry.labelX = tag->GetNode("x")->GetInt();
        entry.valueX = tag->GetNode("value-x")->GetInt();
    }
}

const PanelEntryLayout& Layout::PanelEntry(const std::string& key) const {
    for (const PanelEntryLayout& entry : panel) {
        if (key == entry.key) {
            return entry;
        }
    }
    throw std::invalid_argument(key);
}

const ButtonLayout& Layout::Button(const std::string& name) const {
    for (const ButtonLayout& button : buttons) {
        if (name == button.name) {
            return button;
        }
    }
    throw std::invalid_argument(name);
}

Image Picture(int id) {
    std::string folder = SKIN_FOLDER;
    std::string path = folder + "/" + std::to_string(id) + (id == 134 ? ".jpg" : ".bmp");
    return LoadImageFile(path);
}

bool Poll(const std::function<bool()>& done, double seconds) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(seconds));
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace guitest
