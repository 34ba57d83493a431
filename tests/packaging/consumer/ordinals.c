/* SPDX-License-Identifier: BSD-3-Clause */
/* Counts the memory-card library's ordinal table, as a program binding by ordinal would. */
#include <cordrel.h>
#include <stdio.h>

int main(void) {
    unsigned count = 0;
    while (Cordrel_Ordinals[count].ordinal != 0 && count < CORDREL_EXPORT_COUNT + 1) {
        ++count;
    }
    printf("%u ordinals\n", count);
    return count == CORDREL_EXPORT_COUNT ? 0 : 1;
}
