#include <cstring>
#include <fstream>

#include "EngineTestSupport.h"

class FileAndDriverTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        CreateEngine();
    }
    TempDirectory dir;
};

TEST_F(FileAndDriverTest, ListsADirectoryWithRelativeFullNames) {
    std::filesystem::create_directories(dir.Path() / "worlds" / "sub");
    std::ofstream((dir.Path() / "worlds" / "base.dat").string()) << "x";
    std::ofstream((dir.Path() / "worlds" / "Alpha.DAT").string()) << "x";
    ScopedWorkingDirectory inside(dir.Path());
    FileEntry* head = engine->ListFiles("worlds");
    ASSERT_NE(head, nullptr);
    std::vector<std::tuple<uint32_t, std::string, std::string>> seen;
    for (FileEntry* entry = head; entry != nullptr; entry = entry->next) {
        seen.emplace_back(entry->kind, entry->file_name, entry->full_name);
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0],
              std::make_tuple(1u, std::string("Alpha.DAT"), std::string("worlds/Alpha.DAT")));
    EXPECT_EQ(seen[1],
              std::make_tuple(1u, std::string("base.dat"), std::string("worlds/base.dat")));
    EXPECT_NE(std::get<0>(seen[2]), 1u) << "a directory is not a regular file";
    EXPECT_EQ(engine->ReleaseFileList(head), 1);
    EXPECT_EQ(engine->ReleaseFileList(head), 0) << "a list is freed once";
}

TEST_F(FileAndDriverTest, MissingOrEmptyDirectoriesGiveNoList) {
    ScopedWorkingDirectory inside(dir.Path());
    EXPECT_EQ(engine->ListFiles("worlds"), nullptr);
    std::filesystem::create_directory(dir.Path() / "worlds");
    EXPECT_EQ(engine->ListFiles("worlds"), nullptr);
    EXPECT_EQ(engine->ListFiles(nullptr), nullptr);
    FileEntry foreign{1, "a", "b", nullptr};
    EXPECT_EQ(engine->ReleaseFileList(&foreign), 0);
    EXPECT_EQ(engine->ReleaseFileList(nullptr), 0);
}

TEST_F(FileAndDriverTest, DriverListHoldsTheTcpDriverAndIsReleasedWithOne) {
    NetworkDriverRecord* first = nullptr;
    ASSERT_EQ(engine->ListNetworkDrivers(&first), 1);
    int32_t tcp = 0;
    for (NetworkDriverRecord* record = first; record != nullptr; record = record->next) {
        ASSERT_NE(std::memchr(record->name, '\0', sizeof record->name), nullptr);
        if (std::strcmp(record->name, "Internet TCP/IP") == 0) tcp = record->driverId;
    }
    EXPECT_NE(tcp, 0);
    EXPECT_EQ(engine->ChooseNetworkDriver(tcp), 1);
    EXPECT_EQ(engine->ChooseNetworkDriver(9999), 0);
    EXPECT_EQ(engine->ReleaseNetworkDriverList(first), 1);
    EXPECT_EQ(engine->ReleaseNetworkDriverList(nullptr), 1);
    EXPECT_EQ(engine->ListNetworkDrivers(nullptr), 0);
}

TEST_F(FileAndDriverTest, VersionAndStartServerAnswerAsTheTableSays) {
    int32_t major = 0, minor = 0, build = 0;
    ASSERT_EQ(engine->GetEngineVersion(&major, &minor, &build), 1);
    EXPECT_EQ(major * 10000 + minor * 100 + build, 10203);
    EXPECT_EQ(engine->GetEngineVersion(nullptr, &minor, &build), 0);
    StartGame("worlds/antarctica");
    EXPECT_TRUE(sink.SaidSomethingContaining("worlds/antarctica"));
    EXPECT_EQ(engine->StartServer(nullptr), 0);
    EXPECT_EQ(engine->InitServer(nullptr), 0);
    ServerLaunchInfo noWorld{};
    EXPECT_EQ(engine->StartServer(&noWorld), 0);
    char message[32] = {1, 10};
    EXPECT_EQ(engine->SendHostMessage(message), 1);
    EXPECT_EQ(engine->StartNetwork(0, 0), 1);
    EXPECT_EQ(engine->Reserved9() + engine->Reserved15() + engine->Reserved16() +
                  engine->Reserved17() + engine->Reserved20() + engine->Reserved21() +
                  engine->Reserved27() + engine->Reserved29() + engine->Reserved30(),
              0);
}
