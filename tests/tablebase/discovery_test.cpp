// Finding the tables on the path: names, separators, counts, the material hash
// and starting over with another path.
#include "tablebase/tbcore.h"
#include "tb_fixture.h"

namespace {

std::string InitCapturing(const std::string& path) {
    testing::internal::CaptureStdout();
    InitTables(path);
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(TablebaseDiscovery, CountsOnlyNamesInLetterOrder) {
    if (SyzygyDir().empty()) GTEST_SKIP() << "shared test data not found";
    TempDir dir;
    dir.Copy({"KQvK.rtbw", "KRvK.rtbw"});
    // A name with letters out of order is never looked for.
    std::filesystem::copy_file(SyzygyDir() + "/KQRvK.rtbw", dir.File("KRQvK.rtbw"));
    EXPECT_EQ(InitCapturing(dir.path), "info string found 2 tablebases\n");
    EXPECT_EQ(TbCount, 2);
    EXPECT_EQ(TbLargest, 3);

    // Only WDL files register a table; a lone DTZ file does not.
    dir.Copy({"KBvKN.rtbz"});
    InitCapturing(dir.path);
    EXPECT_EQ(TbCount, 2);

    // The same path again gives the same tables.
    InitCapturing(dir.path);
    EXPECT_EQ(TbCount, 2);
    int ok = 0;
    EXPECT_EQ(ProbeWdl(FenTbPos("8/8/8/8/8/2k5/8/K6Q w - -"), &ok), 2);
    EXPECT_EQ(ok, 1);
}

TEST(TablebaseDiscovery, PathSeparatorsAndEmptyPath) {
    if (SyzygyDir().empty()) GTEST_SKIP() << "shared test data not found";
    TempDir a, b;
    a.Copy({"KQvK.rtbw", "KQvK.rtbz"});
    b.Copy({"KRRvKR.rtbw", "KRRvKR.rtbz"});
    for (std::string path :
         {a.path + ";" + b.path, a.path + ":" + b.path, ";" + a.path + ";;" + b.path + ";",
          "/nonexistent;" + a.path + ":" + b.path}) {
        EXPECT_EQ(InitCapturing(path), "info string found 2 tablebases\n") << path;
        EXPECT_EQ(TbLargest, 5) << path;
    }
    // Both directories are searched when a table is loaded.
    int ok = 0;
    EXPECT_EQ(ProbeWdl(FenTbPos("8/8/8/8/8/2k5/8/K6Q w - -"), &ok), 2);
    EXPECT_EQ(ok, 1);
    ProbeWdl(FenTbPos("8/8/8/3k4/8/8/7r/RR2K3 w - -"), &ok);
    EXPECT_EQ(ok, 1);

    for (const char* empty : {"<empty>", ""}) {
        EXPECT_EQ(InitCapturing(empty), "") << empty;
        EXPECT_EQ(TbCount, 0);
        EXPECT_EQ(TbLargest, 0);
        EXPECT_EQ(TbHashSlotsUsed(), 0);
        ProbeWdl(FenTbPos("8/8/8/8/8/2k5/8/K6Q w - -"), &ok);
        EXPECT_EQ(ok, 0);
    }
}

TEST(TablebaseDiscovery, MaterialHashAndNames) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    TempDir dir;
    dir.Copy({"KRvKR.rtbw", "KRvKB.rtbw"});
    InitCapturing(dir.path);
    // The symmetric table takes one slot, the other one two.
    EXPECT_EQ(TbHashSlotsUsed(), 3);
    TbPos rr = FenTbPos("8/8/8/3k4/8/8/r7/R3K3 w - -");
    TbPos rb = FenTbPos("8/8/8/3k4/8/8/b7/R3K3 w - -");
    TbPos br = FenTbPos("8/8/8/3k4/8/8/r7/B3K3 w - -");
    TbEntry* e = TbFindEntry(TbMaterialKey(rr, 0));
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->symmetric);
    EXPECT_EQ(TbMaterialKey(rr, 0), TbMaterialKey(rr, 1));
    TbEntry* e1 = TbFindEntry(TbMaterialKey(rb, 0));
    ASSERT_NE(e1, nullptr);
    EXPECT_EQ(TbFindEntry(TbMaterialKey(br, 0)), e1);
    EXPECT_EQ(TbMaterialKey(br, 0), TbMaterialKey(rb, 1));
    EXPECT_STREQ(e1->name, "KRvKB");

    // Keys are sums of the per-piece multipliers; names put white first.
    TbPos krp = FenTbPos("8/8/8/3k4/8/1P6/r7/R3K3 w - -");
    EXPECT_EQ(TbMaterialKey(krp, 0),
              0x985DEB9FC49333F9ull + 0xEC0ADE190C0F6003ull + 0xFD7866B439B94495ull);
    char name[16];
    TbMaterialName(krp, 0, name);
    EXPECT_STREQ(name, "KRPvKR");
    TbMaterialName(krp, 1, name);
    EXPECT_STREQ(name, "KRvKRP");
    TbMaterialName(FenTbPos("k7/8/8/8/8/8/8/1QBNRK2 w - -"), 0, name);
    EXPECT_STREQ(name, "KQRBNvK");
}

TEST(TablebaseDiscovery, OnlyCanonicalNamesRegisterAndAllFit) {
    if (SyzygyDir().empty()) GTEST_SKIP() << "shared test data not found";
    // A WDL file under every name of up to six pieces, whatever the side
    // order: only the 510 names with the stronger side first are looked for,
    // and all of them fit the entry tables and the hash buckets.
    TempDir dir;
    const std::string letters = "QRBNP";
    std::vector<std::string> sides[5];
    sides[0].push_back("");
    for (int n = 1; n <= 4; n++)
        for (const std::string& s : sides[n - 1])
            for (size_t i = s.empty() ? 0 : letters.find(s.back()); i < letters.size(); i++)
                sides[n].push_back(s + letters[i]);
    int made = 0;
    for (int w = 0; w <= 4; w++)
        for (int b = 0; w + b <= 4; b++)
            for (const std::string& sw : sides[w])
                for (const std::string& sb : sides[b]) {
                    if (w + b == 0) continue;
                    std::string name = "K" + sw + "vK" + sb + ".rtbw";
                    std::filesystem::create_symlink(SyzygyDir() + "/KQvK.rtbw",
                                                    dir.File(name.c_str()));
                    made++;
                }
    EXPECT_GT(made, 510);
    testing::internal::CaptureStderr();
    std::string out = InitCapturing(dir.path);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(out, "info string found 510 tablebases\n");
    EXPECT_EQ(TbLargest, 6);
    EXPECT_EQ(TbFindEntry(TbMaterialKey(FenTbPos("8/8/8/3k4/8/8/q7/R3K3 w - -"), 0))->name,
              std::string("KQvKR"));
}
