#include "search/search_thread.h"

#include <cstdlib>
#include <cstring>

SearchThread* NewSearchThread() {
    SearchThread* t = static_cast<SearchThread*>(std::calloc(1, sizeof(SearchThread)));
    if (!t) return nullptr;
    t->pos.owner = t;
    return t;
}

void FreeSearchThread(SearchThread* t) { std::free(t); }
