// Process-wide options and shell flags.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int PROTOCOL_CONSOLE = 0;
constexpr int PROTOCOL_UCI = 2;

struct EngineOptions {
    int hashMB = 64;
    int hashMode = 1; // 0 off, 1 cleared before console analysis, 2+ kept
    int ownBook = 0;
    int bookDepth = 24;
    int bookVariety = 30;
    char bookFile[140] = "vesk.opn";
    char syzygyPath[130] = "";
    int probeDepth5 = 1;
    int probeDepth6 = 3;
    int probeLimit = 100;
    int logEnabled = 1;
    int protocolMode = PROTOCOL_UCI;
    int extraInfo = 0;
    // Limits a UCI "go" starts from before its own keywords: the "-d" and "-n"
    // switches (no depth or node limit otherwise).
    int goDepth = 66;
    uint64_t goNodes = 0;
    int chess960 = 0;      // UCI_Chess960: FEN castling fields and castling moves of Chess960
    int limitStrength = 0; // UCI_LimitStrength: play at the strength of `elo`
    int elo = 1500;        // UCI_Elo
};

extern EngineOptions options;

// Shell flags: 0 none, 1 go, 2 go ponder, 3 console analysis.
extern std::atomic<uint8_t> searchRequest;
extern std::atomic<uint8_t> quitFlag;
// An infinite analysis answers only when told to stop, even when its search
// ends by itself (a mate found, a single legal move). "go infinite" asks for it
// (requestHold) and the search takes it over when it starts (holdUntilStop);
// "stop" and anything else that ends the search clear it.
extern bool requestHold;
extern bool holdUntilStop;

// Console debug settings.
extern int selfPlay;
extern int tracePly;
extern int debugFlag;
extern uint64_t tagKey;
