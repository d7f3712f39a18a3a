// Clearing the transposition table with streaming stores empties every entry
// the clear covers, whatever was there, and nothing else.
#include "search_fixture.h"

TEST(TransTableClear, EveryClearedEntryIsEmptyAndTheSpareOnesStayZero) {
    InitSearchForTests();
    for (int mb : {0, 1, 3}) {
        ASSERT_EQ(AllocateTransTable(mb), 0);
        uint64_t n = transTable.n;
        // A fresh table: N + 16 empty entries, then 16 spare entries of zeros.
        TTEntry empty = {};
        empty.depth = TT_EMPTY_DEPTH;
        TTEntry zero = {};
        for (uint64_t i = 0; i < n + 32; i++)
            ASSERT_EQ(memcmp(&transTable.entries[i], i < n + 16 ? &empty : &zero, sizeof empty), 0)
                << mb << " MB, entry " << i;

        memset(transTable.entries, 0x5A, (n + 16) * sizeof(TTEntry));
        transTable.age = 7;
        TTClear();
        EXPECT_EQ(transTable.age, 0);
        for (uint64_t i = 0; i < n + 32; i++)
            ASSERT_EQ(memcmp(&transTable.entries[i], i < n + 16 ? &empty : &zero, sizeof empty), 0)
                << mb << " MB, entry " << i;
    }
    AllocateTransTable(8);
}
