// The record of verified files: what it recognises, what it forgets, and its file.
#include "download/verifiedRecord.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine_fixture.h"

namespace engine_test {
namespace {

class VerifiedRecordTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        a = download + "a.bin";
        b = download + "d/b.bin";
        WriteFile(a, "aaaa");
        WriteFile(b, "bb");
        recordPath = work + kVerifiedRecordName;
    }

    // a and b with their hashes.
    void Load(VerifiedRecord& record) const {
        record.Load(recordPath, 2, [this](size_t index) {
            return index == 0 ? VerifiedRecord::Listed{a, kHashA}
                              : VerifiedRecord::Listed{b, kHashB};
        });
    }

    static constexpr const char* kHashA =
        "1111111111111111111111111111111111111111111111111111111111111111";
    static constexpr const char* kHashB =
        "2222222222222222222222222222222222222222222222222222222222222222";
    std::string a, b, recordPath;
};

TEST_F(VerifiedRecordTest, RememberedFilesAreKnownAgainFromTheSavedRecord) {
    VerifiedRecord record;
    Load(record);
    EXPECT_FALSE(record.IsVerified(a, kHashA));
    record.Remember(a, kHashA);
    record.Remember(b, kHashB);
    EXPECT_TRUE(record.IsVerified(a, kHashA));
    EXPECT_FALSE(record.IsVerified(a, kHashB));
    record.Save();
    // No temporary file is left beside the record.
    const std::filesystem::path saved(recordPath);
    for (const auto& entry : std::filesystem::directory_iterator(saved.parent_path())) {
        EXPECT_TRUE(entry.path() == saved ||
                    !entry.path().filename().string().starts_with(saved.filename().string()))
            << entry.path();
    }

    VerifiedRecord later;
    Load(later);
    EXPECT_TRUE(later.IsVerified(a, kHashA));
    EXPECT_TRUE(later.IsVerified(b, kHashB));
    EXPECT_EQ(Lines(ReadFile(recordPath)).size(), 2u);
}

// Any change since the check makes the file unknown: its size, its time, its hash in the
// manifest, the file gone.
TEST_F(VerifiedRecordTest, FilesChangedSinceTheCheckAreNotKnown) {
    // The library sets times in whole seconds on Windows, whose files keep finer ones: b starts
    // at a time the library can set back exactly.
    std::filesystem::last_write_time(b, std::filesystem::last_write_time(b));
    VerifiedRecord record;
    Load(record);
    record.Remember(a, kHashA);
    record.Remember(b, kHashB);

    WriteFile(a, "aaaaa");
    const auto time = std::filesystem::last_write_time(b);
    std::filesystem::last_write_time(b, time + std::chrono::seconds(1));
    EXPECT_FALSE(record.IsVerified(a, kHashA));
    EXPECT_FALSE(record.IsVerified(b, kHashB));
    std::filesystem::last_write_time(b, time);
    EXPECT_TRUE(record.IsVerified(b, kHashB));
    std::filesystem::remove(b);
    EXPECT_FALSE(record.IsVerified(b, kHashB));
}

TEST_F(VerifiedRecordTest, LinesOfOtherFilesOrHashesAndBrokenLinesAreDropped) {
    VerifiedRecord record;
    Load(record);
    record.Remember(a, kHashA);
    record.Remember(b, kHashB);
    record.Save();
    const std::string saved = ReadFile(recordPath);

    // A new manifest lists a.bin with another hash and no longer lists d/b.bin.
    VerifiedRecord next;
    next.Load(recordPath, 1, [this](size_t) { return VerifiedRecord::Listed{a, kHashB}; });
    EXPECT_FALSE(next.IsVerified(a, kHashB));
    WriteFile(a, "aaaa");
    next.Remember(a, kHashB);
    next.Save();
    EXPECT_EQ(Lines(ReadFile(recordPath)).size(), 1u);

    for (const std::string& broken :
         {std::string("garbage\n"), saved.substr(0, saved.find(' ') + 3), std::string()}) {
        WriteFile(recordPath, broken);
        VerifiedRecord reread;
        Load(reread);
        EXPECT_FALSE(reread.IsVerified(a, kHashA)) << broken;
    }
}

}  // namespace
}  // namespace engine_test
