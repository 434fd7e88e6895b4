#include "ui_fixture.h"

#include <fstream>
#include <sstream>

namespace uitest {

platform::WindowHandle Create(cWindow& object, uint32_t style, int x, int y, int width, int height,
                              platform::WindowHandle parent) {
    object.parent = parent;
    return platform::CreateNativeWindow(cWindow::kClassName, cWindow::kWindowName, style, x, y,
                                        width, height, parent, &object);
}

std::string ReadFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void WriteFileText(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

namespace {

std::string ShippedText() {
    return ReadFileText(UX_DOCUMENT_105);
}

}  // namespace

void LoadShippedDocument(cJson& document) {
    ASSERT_TRUE(document.Parse(ShippedText().c_str()));
}

std::string ShippedWithout(const std::string& section, const std::string& key) {
    std::string text = ShippedText();
    size_t at = text.find("\"" + section + "\"");
    EXPECT_NE(at, std::string::npos) << section;
    size_t member = text.find("\"" + key + "\"", at);
    EXPECT_NE(member, std::string::npos) << key;
    size_t end = text.find_first_of(",}", member);
    // The member and the comma after it (or the one before it when it is the last).
    if (text[end] == ',') {
        text.erase(member, end + 1 - member);
    } else {
        size_t comma = text.rfind(',', member);
        text.erase(comma, end - comma);
    }
    return text;
}

}  // namespace uitest
