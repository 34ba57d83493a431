#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-3-Clause
"""Writes the seed corpora of the fuzz targets whose input is a layout of our own (numbers,
flags and length-prefixed pieces, as fuzz_input.h reads them) rather than plain text.
Run it again after changing such a layout; the text targets' seeds are plain files."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def b(*values):
    return bytes(values)


def u16(v):
    return struct.pack('<H', v)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def piece(data):
    data = data.encode('latin-1') if isinstance(data, str) else data
    assert len(data) < 256
    return bytes([len(data)]) + data


def long_piece(data):
    data = data.encode('latin-1') if isinstance(data, str) else data
    return u16(len(data)) + data


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def hexbytes(text):
    return bytes.fromhex(text.replace(' ', ''))


# --- memcard_request: tag, SLE4432/4418 mode, checked, address, length, three keys, log
#     text, a length for the log alone, then the answer: result, count, data, protect.
def memcard_request(tag, address='', length='', keys=('', '', ''), log='', result=0,
                    count=0, data=b'', protect=b''):
    return (b(tag, 0, 0) + piece(address) + piece(length) + b''.join(piece(k) for k in keys)
            + long_piece(log) + u16(count) + u32(result) + u16(count) + data.ljust(1025, b'\0')
            + protect)


def memcard_request_seeds():
    write('memcard_request', 'read-main', memcard_request(0, ' 16', ' 16', count=16,
                                                          data=bytes(range(16))))
    write('memcard_request', 'update-main', memcard_request(1, '  0', '  4', log='11 22 33 44'))
    write('memcard_request', 'update-short-log', memcard_request(1, '  0', '  8', log='11 22'))
    write('memcard_request', 'update-bad-pair', memcard_request(1, '  0', '  2', log='1G 22'))
    write('memcard_request', 'verify', memcard_request(6, keys=('FF', 'FF', 'FF')))
    write('memcard_request', 'verify-missing', memcard_request(6, keys=('FF', '  ', 'FF')))
    write('memcard_request', 'sle4428-read-protect',
          memcard_request(9, '1020', '   4', count=4, data=b'\x01\x02\x03\x04', protect=b'\0\1\0\1'))
    write('memcard_request', 'sle4428-write', memcard_request(8, '   0', '   3', log='AA BB CC '))
    write('memcard_request', 'psc', memcard_request(12, keys=('FF', 'FF', '')))
    write('memcard_request', 'failed', memcard_request(2, result=0x80100016))
    write('memcard_request', 'out-of-range', memcard_request(0, '256', '  1'))


# --- prolvak_service: trace flag, eleven service results, the readers (name and event
#     state each), list flags and lengths, protocol, status, ATR, response, control and
#     attribute answers, then the calls' choices.
def prolvak(readers, atr, results=b'\0' * 11, trace=1, unterminated=None, list_lie=None,
            card_state=0x34, protocol=2, share=1, atr_room=33, names_room=200,
            request=b'\x00\xA4\x04\x00', response=b'\x90\x00', control=b'\x90\x00',
            response_room=330, status_name='KALDOR TR-100 00 00'):
    out = b(trace) + results + b(len(readers))
    for i, (name, state) in enumerate(readers):
        out += (long_piece(name) if i % 2 == 0 else piece(name)) + u32(state)
    if readers:
        out += b(1 if unterminated else 0)
    out += b(1) + u32(list_lie) if list_lie is not None else b(0)
    out += b(0, protocol) + b(0) + b(0)  # protocol, direct protocol, write on failure
    out += piece(status_name) + u32(card_state) + piece(atr) + b(0)
    out += long_piece(response) + b(0) + long_piece(control) + b(0) + piece(b'KALDOR\0')
    out += b(1) + b(share) + b(atr_room) + b(names_room)
    out += long_piece(request) + u16(response_room) + b(64) + u32(0x00010100)
    return out


def prolvak_seeds():
    contact = hexbytes('3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78')
    memory = hexbytes('3B 64 00 00 A2 13 10 91')
    readers = [('KALDOR TR-100 00 00', 0x22), ('KALDOR RF-9000 01 00', 0x12)]
    write('prolvak_service', 'two-readers', prolvak(readers, contact))
    write('prolvak_service', 'memory-card', prolvak(readers[:1], memory, protocol=1))
    write('prolvak_service', 'direct', prolvak(readers[:1], contact, share=2, protocol=0))
    write('prolvak_service', 'no-readers',
          prolvak([], contact, results=b'\0' + b'\xA9' + b'\0' * 9))
    write('prolvak_service', 'cut-list', prolvak(readers, contact, unterminated=True))
    write('prolvak_service', 'short-length', prolvak(readers, contact, list_lie=12))
    write('prolvak_service', 'long-name', prolvak([('N' * 300, 0x22)], contact))
    write('prolvak_service', 'failures', prolvak(readers, contact, results=b'\xA5' * 11))
    write('prolvak_service', 'small-rooms',
          prolvak(readers, contact, atr_room=4, names_room=3, response_room=1))


# --- simreader_cards: card type, settings (name index or own name, value), then steps.
SETTING = {'memory': 0, 'protection': 1, 'psc': 2, 'counter': 3, 'pull-after': 4}


def card(kind, settings=(), steps=b''):
    out = b(kind, len(settings))
    for name, value in settings:
        out += b(SETTING[name]) + long_piece(value)
    return out + steps


def apdu_step(apdu):
    return b(0) + u16(len(apdu)) + apdu


def escape_step(level, command, address, data):
    return b(1, 0xFF) + b(0, 0) + b(level & 0xFF, level >> 8, command, address, data)


def power_step():
    return b(2)


def reader_step(command):
    return b(3, len(command)) + command


LED = hexbytes('FF E1 02 01 0C A0 FC 10 A0 FD 04 A0 FE 04 A0 FF 04')


def simreader_cards_seeds():
    aid = hexbytes('F0 4B 41 4C 44 4F 52 01')
    write('simreader_cards', 'apdu', card(0, steps=
          apdu_step(hexbytes('00 A4 04 00 08') + aid) + apdu_step(hexbytes('00 B0 81 00 10'))
          + apdu_step(hexbytes('00 84 00 00 08')) + apdu_step(hexbytes('80 10 00 00'))
          + apdu_step(hexbytes('00 C0 00 00 20')) + apdu_step(hexbytes('80 12 00 00 10'))
          + apdu_step(hexbytes('00 A4 00 00 02 2F 02')) + apdu_step(hexbytes('00 B0 00 00 00'))
          + power_step() + reader_step(LED) + reader_step(LED[:9])))
    write('simreader_cards', 'apdu-cl', card(1, steps=apdu_step(hexbytes('00 A4 00 00 02 3F 00'))))
    write('simreader_cards', 'sle4442', card(2, [('memory', 'A2131091FF'), ('psc', 'FFFFFF'),
                                                 ('counter', '7')], steps=
          escape_step(32, 0x30, 0, 0) + escape_step(4, 0x31, 0, 0) + escape_step(0, 0x39, 0, 6)
          + escape_step(0, 0x33, 1, 0xFF) + escape_step(0, 0x33, 2, 0xFF)
          + escape_step(0, 0x33, 3, 0xFF) + escape_step(0, 0x38, 40, 0x55)
          + escape_step(0, 0x3C, 0, 0xA2) + escape_step(4, 0x34, 0, 0)
          + escape_step(0, 0x39, 1, 0x12) + power_step()))
    write('simreader_cards', 'sle4432', card(3, [('protection', 'FF00FFFF')], steps=
          escape_step(256, 0x30, 0, 0) + escape_step(0, 0x38, 9, 0x11) + escape_step(4, 0x34, 0, 0)))
    write('simreader_cards', 'sle4428', card(4, [('psc', 'FFFF'), ('counter', '0xFF')], steps=
          escape_step(256, 0x0E, 0, 0) + escape_step(128, 0x0C, 0, 0)
          + escape_step(0, 0xF2, 0xFD, 0xFE) + escape_step(0, 0xCD, 0xFE, 0xFF)
          + escape_step(0, 0xCD, 0xFF, 0xFF) + escape_step(0, 0x33, 5, 0x42)
          + escape_step(0, 0x31, 6, 0x43) + escape_step(0, 0x30, 5, 0x42)
          + escape_step(4, 0xCE, 0xFC, 0)))
    write('simreader_cards', 'sle4418', card(5, [('memory', '0011'), ('protection', 'FE')], steps=
          escape_step(16, 0x0E, 0, 0) + escape_step(0, 0x33, 0, 1) + escape_step(0, 0x33, 1, 1)))
    write('simreader_cards', 'bad-setting', card(2, [('memory', 'XYZ')]))
    write('simreader_cards', 'pull-after', card(2, [('pull-after', '3')]))


# --- simreader_ifd: the card file, then calls.
TYPES = {'apdu': 0, 'apdu-cl': 1, 'sle4442': 2, 'sle4432': 3, 'sle4428': 4, 'sle4418': 5}


def card_file(kind, card_id=1, extra=''):
    return b(96 + TYPES[kind]) + b(card_id) + long_piece(extra)


def ifd_power(action=0, room=33):
    return b(0, action) + u16(room) + b(0)


def ifd_transmit(apdu, room=300):
    return b(1) + u16(len(apdu)) + apdu + u16(room) + b(0)


def ifd_escape(level, command, address, data, room=300):
    return b(2, 0, 0xFF, level & 0xFF, level >> 8, command, address, data) + u16(room) + b(0)


def ifd_reader(command, room=64):
    return b(2, 200, len(command)) + command + u16(room) + b(0)


def ifd_capability(index, room=64):
    return b(4, index) + u16(room) + b(0)


def ifd_card(kind, card_id, extra=''):
    return b(7, 0xFF) + card_file(kind, card_id, extra)


def simreader_ifd_seeds():
    caps = b''.join(ifd_capability(i) for i in range(8))
    write('simreader_ifd', 'apdu', b(0xFF) + card_file('apdu') + ifd_power()
          + ifd_transmit(hexbytes('00 A4 00 00 02 3F 00')) + ifd_transmit(hexbytes('80 10 00 00'))
          + ifd_transmit(hexbytes('00 C0 00 00 20')) + ifd_reader(LED)
          + ifd_transmit(LED) + caps + b(5, 0) + b(6, 0, 1, 0) + ifd_power(1))
    write('simreader_ifd', 'sle4442', b(0xFF) + card_file('sle4442', 2, 'psc=FFFFFF\n') + ifd_power()
          + ifd_escape(32, 0x30, 0, 0) + ifd_escape(0, 0x39, 0, 6) + ifd_escape(0, 0x33, 1, 0xFF)
          + ifd_escape(0, 0x33, 2, 0xFF) + ifd_escape(0, 0x33, 3, 0xFF)
          + ifd_escape(0, 0x38, 64, 0x77) + ifd_escape(4, 0x31, 0, 0) + caps)
    write('simreader_ifd', 'sle4428-pulled', b(0xFF) + card_file('sle4428', 3, 'pull-after=2\n')
          + ifd_power() + ifd_escape(16, 0x0E, 0, 0) + ifd_escape(0, 0x33, 0, 1)
          + ifd_escape(0, 0x33, 1, 1) + b(5, 0) + ifd_power())
    write('simreader_ifd', 'swap', b(0xFF) + card_file('apdu') + ifd_power()
          + ifd_card('sle4432', 9) + b(5, 0) + b(5, 0) + ifd_power() + ifd_escape(8, 0x30, 0, 0)
          + b(7, 0) + b(5, 0) + ifd_power())
    write('simreader_ifd', 'small-rooms', b(0xFF) + card_file('apdu-cl') + ifd_power(0, 5)
          + ifd_power(0, 33) + ifd_transmit(hexbytes('00 84 00 00 08'), 3)
          + ifd_capability(6, 2) + ifd_reader(LED, 1))
    write('simreader_ifd', 'refused', b(0xFF) + card_file('sle4442', 4, 'memory=XYZ\n')
          + ifd_power() + b(5, 0))


if __name__ == '__main__':
    memcard_request_seeds()
    prolvak_seeds()
    simreader_cards_seeds()
    simreader_ifd_seeds()
