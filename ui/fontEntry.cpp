#include "ui/fontEntry.h"

FontEntry ReadFontEntry(cJson& document, const char* key) {
    FontEntry entry;
    cJson::Node* fonts = document.root != nullptr ? document.root->Find("font") : nullptr;
    cJson::Node* font = fonts != nullptr ? fonts->GetNode(key) : nullptr;
    if (font == nullptr) {
        return entry;
    }
    if (cJson::Node* name = font->GetNode("name")) {
        entry.family = name->GetWString();
    }
    if (cJson::Node* size = font->GetNode("size")) {
        entry.size = size->GetInt();
    }
    if (cJson::Node* color = font->GetNode("color")) {
        entry.color = static_cast<uint32_t>(color->GetHex());
    }
    if (cJson::Node* alpha = font->GetNode("alpha")) {
        entry.alpha = static_cast<float>(alpha->GetInt() / 100.0);
    }
    return entry;
}
