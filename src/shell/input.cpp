#include "shell/input.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "shell/console.h"
#include "shell/engine.h"
#include "shell/uci.h"

namespace {

// Room for the move list of the longest game the rules allow (under 18,000
// plies of at most five characters and a blank).
constexpr int LINE_MAX_CHARS = 131071;
// Lines wait here, each ended by '@'. Input is not read while the queue is
// nearly full, so a burst stays in the pipe instead of being dropped.
constexpr int QUEUE_CAPACITY = 4 * (LINE_MAX_CHARS + 1);

char partial[LINE_MAX_CHARS + 1];
int partialLength = 0;
char queue[QUEUE_CAPACITY];
int queueLength = 0;
bool inputEnded = false;

void EndPartialLine() {
    if (partialLength > 0 && queueLength + partialLength + 1 <= QUEUE_CAPACITY) {
        memcpy(queue + queueLength, partial, partialLength);
        queueLength += partialLength;
        queue[queueLength++] = '@';
    }
    partialLength = 0;
}

void AppendBytes(const char* bytes, int length) {
    for (int i = 0; i < length; i++) {
        char c = bytes[i];
        if (c == '\n' || c == '\0') {
            EndPartialLine();
        } else if (partialLength < LINE_MAX_CHARS) {
            partial[partialLength++] = c; // characters beyond the limit are dropped
        }
    }
}

bool InputWaiting() {
    pollfd pfd = {0, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLIN | POLLHUP | POLLERR));
}

void ReadAvailable() {
    if (inputEnded || QUEUE_CAPACITY - queueLength < 2 * (LINE_MAX_CHARS + 1)) return;
    if (!InputWaiting()) return;
    static char buffer[65536];
    ssize_t n = read(0, buffer, sizeof buffer);
    if (n <= 0) {
        // The front end closed the pipe (or the terminal sent end of file):
        // an unterminated last line still counts as a command.
        inputEnded = true;
        EndPartialLine();
        return;
    }
    AppendBytes(buffer, int(n));
}

// Takes the first queued line into buffer; 0 when none is queued.
int TakeQueuedLine(char* buffer, int size) {
    char* at = static_cast<char*>(memchr(queue, '@', queueLength));
    if (!at) return 0;
    int length = int(at - queue);
    int kept = length < size - 1 ? length : size - 1;
    memcpy(buffer, queue, kept);
    buffer[kept] = 0;
    queueLength -= length + 1;
    memmove(queue, at + 1, queueLength);
    buffer[strcspn(buffer, "\r\n")] = 0;
    return 1;
}

// The console's "edit" reads its lines here, blocking: queued lines first,
// then whatever standard input brings. 0 at end of input.
int NextInputLineBlocking(char* buffer, int size) {
    while (!TakeQueuedLine(buffer, size)) {
        if (inputEnded) return 0;
        pollfd pfd = {0, POLLIN, 0};
        poll(&pfd, 1, -1);
        ReadAvailable();
    }
    return 1;
}

} // namespace

void QueueInput(const char* bytes, int length) { AppendBytes(bytes, length); }

void InstallConsoleLineSource() { consoleLineSource = NextInputLineBlocking; }

bool CommandWaiting() { return memchr(queue, '@', queueLength) != nullptr; }

bool InputExhausted() { return inputEnded && queueLength == 0; }

const char* NextWord(const char* text) {
    static char word[129];
    int n = 0;
    while (*text == ' ' || *text == '\t') text++;
    while (n < 128 && text[n] && text[n] != ' ' && text[n] != '\t' && text[n] != '\n' &&
           text[n] != '\r')
        n++;
    memcpy(word, text, n);
    word[n] = 0;
    return word;
}

void ExecuteCommandLine(char* line) {
    line[strcspn(line, "\r\n")] = 0;
    if (options.protocolMode == PROTOCOL_UCI || strcmp(line, "uci") == 0) {
        UciCommand(line);
    } else if (options.protocolMode == PROTOCOL_CONSOLE && line[0]) {
        ConsoleCommand(line);
    }
}

void PollCommand() {
    ReadAvailable();
    static char line[LINE_MAX_CHARS + 1];
    if (TakeQueuedLine(line, sizeof line)) ExecuteCommandLine(line);
}

int ReadInteger(const char* text) {
    long long v = strtoll(text, nullptr, 10);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

double ReadDecimal(const char* text) {
    double v = atof(text);
    return std::isfinite(v) ? v : 0;
}
