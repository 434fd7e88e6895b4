// What the application tests share: a fresh fake backend per test and small document helpers.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/cApp.h"
#include "platform/fake/fake.h"

namespace apptest {

// A document with every key start-up reads; `extra` goes in before the closing brace.
std::string MinimalDocument(const std::string& extra = "");
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool IsFolder(const std::string& path);

// Each test gets a new fake backend with its own folders.
class AppTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes `document` the built-in resource 105.
    void Ship(const std::string& document);
    // The work directory the entry routine uses.
    std::string WorkDirectory() const;
    // Gives `app` the work and module directories that the entry routine would, and creates
    // the work directory (unrecorded).
    void Prepare(cApp& app) const;
};

}  // namespace apptest
