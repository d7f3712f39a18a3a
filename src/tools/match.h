// The self-play match: "Player1" plays with the settings of test1.rc,
// "Player2" with those in force at start-up; short node-limited games from
// book openings, each appended to a PGN file, with a running score line.
#pragma once

// "-match file": up to 8000 games or until "quit"; returns the exit code.
int RunMatch(const char* file);
// The same with another game limit.
int RunMatchGames(const char* file, int maxGames);
