// EPD text: the input is the file of the EPD tool, run the way "-anepd"
// runs it after "-d 1" (a depth-1 search per position, with the "bm" move
// read and compared), then at depth 0 (the quiescence score and the error
// function of the tuner). The result and score fields of every line are
// read on their own as well and must stay in their ranges.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "search/search_state.h"
#include "search/time_control.h"
#include "tools/epd.h"

namespace {

void LineValues(const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        double r = EpdResultValue(line.c_str());
        FUZZ_CHECK(r == 1.0 || r == 0.0 || r == 0.5 || r == -2.0, "result value %g", r);
        int ce = EpdCeValue(line.c_str());
        FUZZ_CHECK(ce >= -950 && ce <= 950, "ce value %d", ce);
        at = end + 1;
    }
}

void Limits(int depth) {
    searchState.maxDepth = depth;
    searchState.nodeLimit = 0;
    searchState.multiPv = 1;
    timeState.mode = 1;
    timeState.fixedTime = 10000;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzResetEngine();
    LineValues(FuzzText(data, size));
    FuzzInScratch here;
    FuzzWriteFile("suite.epd", data, size);
    Limits(1);
    RunEpdAnalysis("suite.epd");
    Limits(0);
    double error = EpdErrorAllLines();
    FUZZ_CHECK(std::isfinite(error) && error >= 0 && error <= 1, "error function gave %g", error);
    remove("suite.epd");
    remove("unsolved.epd");
    return 0;
}
