// Helpers shared by the unit tests.
#pragma once

#include <string>

// Directory of the shared test material, or "" when it is absent.
std::string TestDataDir();

// Sets up the engine's global tables once (board tables, keys, defaults).
void InitEngineForTests();
