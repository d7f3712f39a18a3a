// Shared set-up for the tool tests: engine start-up, a scratch working
// directory, and standard output captured into a string.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "board/attacks.h"
#include "board/zobrist.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search_fixture.h"
#include "search/search_state.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"

inline void InitToolsEngine() {
    static bool done = false;
    if (done) return;
    done = true;
    InitSearchForTests();
    SaveSettingsBackup();
    ASSERT_EQ(AllocateTransTable(16), 0);
}

// Limits the tools start from: no info lines, no node limit, one line.
inline void ResetToolLimits(int depth) {
    searchState.maxDepth = depth;
    searchState.nodeLimit = 0;
    searchState.multiPv = 1;
    searchState.reportDelay = 9999;
    timeState.mode = 1;
    timeState.fixedTime = 10000;
    options.hashMode = 1;
    quitFlag = 0;
}

// Works inside a fresh temporary directory for the lifetime of the object.
struct ScratchDir {
    std::string path;
    std::string previous;
    ScratchDir() {
        char cwd[4096];
        previous = getcwd(cwd, sizeof cwd) ? cwd : ".";
        char templ[] = "/tmp/vesk_tools_XXXXXX";
        path = mkdtemp(templ);
        EXPECT_EQ(chdir(path.c_str()), 0);
    }
    ~ScratchDir() {
        EXPECT_EQ(chdir(previous.c_str()), 0);
        std::string cmd = "rm -rf '" + path + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
};

inline std::string ReadFile(const std::string& name) {
    std::string out;
    FILE* f = fopen(name.c_str(), "r");
    if (!f) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    fclose(f);
    return out;
}

inline void WriteFile(const std::string& name, const std::string& text) {
    FILE* f = fopen(name.c_str(), "w");
    ASSERT_TRUE(f);
    fputs(text.c_str(), f);
    fclose(f);
}

inline bool FileExists(const std::string& name) { return access(name.c_str(), F_OK) == 0; }

// Runs fn with standard output redirected into the returned string.
template <typename Fn> std::string CaptureStdout(Fn fn) {
    fflush(stdout);
    char path[] = "/tmp/vesk_tools_out_XXXXXX";
    int fd = mkstemp(path);
    int saved = dup(1);
    dup2(fd, 1);
    fn();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(fd);
    std::string out = ReadFile(path);
    unlink(path);
    return out;
}

// The first n lines of a file, each with its line break.
inline std::string FirstLines(const std::string& path, int n) {
    std::string text = ReadFile(path), out;
    size_t at = 0;
    for (int i = 0; i < n && at < text.size(); i++) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size() - 1;
        out += text.substr(at, end - at + 1);
        at = end + 1;
    }
    return out;
}
