// What the toolkit tests share: a fresh fake backend per test, a plain window of the toolkit
// that records what reaches it, a button that counts its commands, and the shipped document.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "json/cJson.h"
#include "platform/fake/fake.h"
#include "ui/cButton.h"
#include "ui/cWindow.h"

namespace uitest {

namespace fake = platform::fake;

// A window that records every message and answers from a table (0 when absent).
class RecordingWindow : public cWindow {
public:
    intptr_t HandleMessage(platform::WindowHandle, unsigned message, uintptr_t, intptr_t) override {
        messages.push_back(message);
        auto found = answers.find(message);
        return found != answers.end() ? found->second : 0;
    }
    void OnClose() override { ++closes; }

    std::vector<unsigned> messages;
    std::map<unsigned, intptr_t> answers;
    int closes = 0;
};

class CountingButton : public cButton {
public:
    using cButton::cButton;
    void OnExecute() override {
        ++executions;
        if (action) {
            action();
        }
    }
    int executions = 0;
    std::function<void()> action;
};

// The native window of `object` in the toolkit's class.
platform::WindowHandle Create(cWindow& object, uint32_t style, int x, int y, int width, int height,
                              platform::WindowHandle parent = nullptr);

// The whole content of a file; empty when it cannot be read.
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& content);
// The document the program ships (resource 105 as built), parsed.
void LoadShippedDocument(cJson& document);
// The shipped document's text with the member `key` of the object that follows `section`
// removed: a document that lacks exactly that member.
std::string ShippedWithout(const std::string& section, const std::string& key);

// The backend is reset before the fixture's own windows exist and shut down after they are
// gone: the first window registers the class in the fresh backend.
class UiTest : public testing::Test {
protected:
    UiTest() { fake::Reset(); }
    ~UiTest() override { fake::Shutdown(); }
};

}  // namespace uitest
