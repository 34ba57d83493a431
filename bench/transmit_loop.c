/* SPDX-License-Identifier: BSD-3-Clause */
/* The bare yardstick for tessary-run's benchmark (scripts/bench-run): reads a file of APDUs
 * in hexadecimal, one per line, and sends each with SCardTransmit to the card in the first
 * reader, with nothing else around it. Exit status 0 when every exchange went through. */
#include <winscard.h>

#include <stdio.h>
#include <stdlib.h>

static int hexDigit(int c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: transmit_loop FILE\n");
        return 2;
    }
    FILE* file = fopen(argv[1], "r");
    if (file == NULL) {
        perror(argv[1]);
        return 2;
    }
    SCARDCONTEXT context;
    SCARDHANDLE card;
    DWORD protocol = 0;
    char* readers = NULL;
    DWORD length = SCARD_AUTOALLOCATE;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, NULL, NULL, &context) != SCARD_S_SUCCESS ||
        SCardListReaders(context, NULL, (LPSTR)&readers, &length) != SCARD_S_SUCCESS ||
        SCardConnect(context, readers, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                     &card, &protocol) != SCARD_S_SUCCESS) {
        fprintf(stderr, "transmit_loop: no card to talk to\n");
        return 2;
    }
    const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    static char line[1 << 16];
    static BYTE command[1 << 15];
    BYTE answer[MAX_BUFFER_SIZE_EXTENDED];
    while (fgets(line, sizeof line, file) != NULL) {
        DWORD count = 0;
        int high = -1;
        for (const char* c = line; *c != '\0' && *c != '#' && count < sizeof command; ++c) {
            const int digit = hexDigit((unsigned char)*c);
            if (digit < 0) {
                continue;
            }
            if (high < 0) {
                high = digit;
            } else {
                command[count++] = (BYTE)(high << 4 | digit);
                high = -1;
            }
        }
        if (count == 0) {
            continue;
        }
        DWORD received = sizeof answer;
        if (SCardTransmit(card, pci, command, count, NULL, answer, &received) != SCARD_S_SUCCESS) {
            fprintf(stderr, "transmit_loop: SCardTransmit failed\n");
            return 1;
        }
    }
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardFreeMemory(context, readers);
    SCardReleaseContext(context);
    fclose(file);
    return 0;
}
