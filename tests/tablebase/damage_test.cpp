// Missing, truncated and corrupted files fail only the probes that need them,
// with a message on standard error, and never bring the engine down.
#include <algorithm>
#include <fstream>
#include <thread>
#include <vector>

#include "tb_fixture.h"

namespace {

void Truncate(const std::string& file, uintmax_t size) { std::filesystem::resize_file(file, size); }

void Overwrite(const std::string& file, size_t offset, size_t count, uint32_t seed) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(offset));
    for (size_t i = 0; i < count; i++) {
        seed = seed * 1664525u + 1013904223u;
        f.put(char(seed >> 24));
    }
}

// WDL and DTZ of a position; *ok gets 1 when both probes succeeded.
void Probe(const char* fen, int* wdl, int* dtz, int* ok) {
    TbPos p = FenTbPos(fen);
    int a = 0, b = 0;
    *wdl = ProbeWdl(p, &a);
    *dtz = a ? ProbeDtz(p, &b) : 0;
    *ok = a && b;
}

const char* const KQvK = "8/8/8/8/8/2k5/8/K6Q w - -";
const char* const KRvK = "8/8/8/8/8/2k5/8/K6R w - -";
const char* const KPvK = "8/8/8/8/8/2k5/4P3/K7 w - -";
const char* const KNvK = "8/8/8/8/8/2k5/8/K6N w - -";

} // namespace

TEST(TablebaseDamage, BrokenFilesFailOnlyTheirProbes) {
    if (SyzygyDir().empty()) GTEST_SKIP() << "shared test data not found";
    TempDir dir;
    dir.Copy({"KQvK.rtbw", "KQvK.rtbz", "KRvK.rtbw", "KRvK.rtbz", "KPvK.rtbw", "KPvK.rtbz",
              "KNvK.rtbw", "KNvK.rtbz"});
    // A name the system opens but cannot map.
    std::filesystem::create_directory(dir.File("KBvK.rtbw"));
    testing::internal::CaptureStdout();
    InitTables(dir.path);
    testing::internal::GetCapturedStdout();
    // Damage after registration, as a file changed on disk would be.
    Overwrite(dir.File("KRvK.rtbw"), 0, 4, 7);
    Truncate(dir.File("KPvK.rtbw"), std::filesystem::file_size(dir.File("KPvK.rtbw")) / 2);
    Truncate(dir.File("KQvK.rtbz"), 3);
    std::filesystem::remove(dir.File("KNvK.rtbw"));

    int wdl, dtz, ok;
    testing::internal::CaptureStderr();
    Probe(KRvK, &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");

    testing::internal::CaptureStderr();
    Probe(KPvK, &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");

    testing::internal::CaptureStderr();
    Probe(KNvK, &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not find KNvK.rtbw\n");

    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; i++) Probe("8/8/8/8/8/2k5/8/K6B w - -", &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 0);
    std::string mapFailures = testing::internal::GetCapturedStderr();
    EXPECT_EQ(mapFailures.rfind("MapViewOfFile() failed, name = KBvK.rtbw, error = ", 0), 0u);
    EXPECT_EQ(std::count(mapFailures.begin(), mapFailures.end(), '\n'), 1) << mapFailures;

    // The WDL file of KQvK is whole: only the DTZ probe fails.
    testing::internal::CaptureStderr();
    TbPos q = FenTbPos(KQvK);
    int a = 0;
    EXPECT_EQ(ProbeWdl(q, &a), 2);
    EXPECT_EQ(a, 1);
    ProbeDtz(q, &a);
    EXPECT_EQ(a, 0);
    uint32_t results[TB_MAX_ROOT_RESULTS];
    EXPECT_EQ(ProbeRoot(q, results), TB_RESULT_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");

    // The engine's probe answers "no result", and the root state falls back to WDL.
    options.probeDepth5 = 1;
    EXPECT_EQ(TbProbeWdl(FenPosition(KRvK), 10), -1);
    TbSearchStart(FenPosition(KQvK));
    EXPECT_EQ(searchState.rootTb, 4);
    EXPECT_EQ(searchState.rootTbMove, 0);
    EXPECT_EQ(TbRootMoves[0], 0);

    // Failures are reported once and the file is not tried again (a search would
    // otherwise report it at every probe); a repaired file is picked up when the
    // tables are set up anew.
    testing::internal::CaptureStderr();
    Probe(KNvK, &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 0);
    dir.Copy({"KNvK.rtbw", "KRvK.rtbw"});
    Probe(KNvK, &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStdout();
    InitTables(dir.path);
    testing::internal::GetCapturedStdout();
    Probe(KNvK, &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(wdl, 0);
    Probe(KRvK, &wdl, &dtz, &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(wdl, 2);
    ForgetTables();
}

TEST(TablebaseDamage, GarbageNeverCrashes) {
    if (SyzygyDir().empty()) GTEST_SKIP() << "shared test data not found";
    // The same positions for every damaged copy.
    std::vector<std::string> fens;
    for (int i = 0; fens.size() < 200; i++) {
        std::string fen = RandomFen(i & 2 ? "KRvKN" : "KRvKP", i & 1);
        if (!fen.empty()) fens.push_back(fen);
    }
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    for (uint32_t seed = 1; seed <= 24; seed++) {
        TempDir dir;
        dir.Copy({"KRvKN.rtbw", "KRvKN.rtbz", "KRvKP.rtbw", "KRvKP.rtbz", "KRvK.rtbw", "KRvK.rtbz",
                  "KNvK.rtbw", "KPvK.rtbw", "KQvK.rtbw", "KRvKR.rtbw"});
        // Headers, index tables or compressed blocks, each damaged in turn.
        for (const char* f : {"KRvKN.rtbw", "KRvKN.rtbz", "KRvKP.rtbw", "KRvKP.rtbz"}) {
            std::string file = dir.File(f);
            size_t size = size_t(std::filesystem::file_size(file));
            if (seed % 3 == 0)
                Overwrite(file, 5, seed % 2 ? 16 : 400, seed);
            else if (seed % 3 == 1)
                Overwrite(file, size / 2, size - size / 2, seed);
            else
                Overwrite(file, size * 3 / 4, 400, seed);
        }
        InitTables(dir.path);
        for (size_t i = 0; i < fens.size(); i++) {
            TbPos p = FenTbPos(fens[i]);
            int ok;
            int v = ProbeWdl(p, &ok);
            if (ok) {
                EXPECT_GE(v, -2);
                EXPECT_LE(v, 2);
            }
            ProbeDtz(p, &ok);
            uint32_t results[TB_MAX_ROOT_RESULTS];
            if (i % 10 == 0) ProbeRoot(p, results);
        }
    }
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ForgetTables();
}

TEST(TablebaseDamage, ConcurrentFirstProbesLoadOnce) {
    if (SyzygyDir().empty()) GTEST_SKIP() << "shared test data not found";
    TempDir dir;
    dir.Copy({"KRRvKR.rtbw", "KRvKR.rtbw", "KRRvK.rtbw", "KRvK.rtbw"});
    testing::internal::CaptureStdout();
    InitTables(dir.path);
    testing::internal::GetCapturedStdout();
    const char* fens[] = {"8/8/8/3k4/8/8/7r/RR2K3 w - -", "8/8/3k4/8/8/8/7r/RR2K3 b - -",
                          "r7/8/8/3k4/8/8/8/RR2K3 w - -", "6k1/8/8/8/8/8/7r/RR2K3 b - -"};
    TbPos pos[4];
    int expected[4];
    for (int i = 0; i < 4; i++) pos[i] = FenTbPos(fens[i]);
    // Reference values from a fresh start, then everything again from four threads at once.
    for (int i = 0; i < 4; i++) {
        int ok;
        expected[i] = ProbeWdl(pos[i], &ok);
        ASSERT_NE(ok, 0);
    }
    InitTables(dir.path);
    int wrong[4] = {0, 0, 0, 0};
    std::thread threads[4];
    for (int t = 0; t < 4; t++)
        threads[t] = std::thread([&, t] {
            for (int n = 0; n < 200; n++) {
                int i = (n + t) % 4, ok;
                if (ProbeWdl(pos[i], &ok) != expected[i] || ok == 0) wrong[t]++;
            }
        });
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < 4; t++) EXPECT_EQ(wrong[t], 0);
    ForgetTables();
}
