// The UCI command interpreter.
#pragma once

void UciCommand(const char* line);

// Parses the argument text of "setoption" into name and value (each at most
// 255 characters). Returns 0 when the text names no option.
int ParseSetOption(const char* args, char* name, char* value);
