#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/<target>/*): valid frames, datagrams and dialog replies,
laid out as each target's FuzzedDataProvider reads them (bytes from the front, numbers from the back)."""
import pathlib


class Input:
    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in the order the target consumes it

    def number(self, highest, value):
        count = 0
        while count < 8 and (highest >> (8 * count)) > 0:
            count += 1
        for index in reversed(range(count)):
            self.back.append((value >> (8 * index)) & 0xFF)
        return self

    def flag(self, value):
        self.back.append(1 if value else 0)
        return self

    def data(self, raw):
        self.front += raw
        return self

    def text(self, raw):
        self.front += raw.replace(b"\\", b"\\\\") + b"\\x"
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def frame(label, data):
    return bytes([0x7E, label, len(data) & 0xFF, len(data) >> 8]) + bytes(data) + b"\xE7"


def dmx_report(step):
    return frame(5, bytes([0, 0]) + bytes((n * step) & 0xFF for n in range(1, 513)))


PARAMETERS = frame(3, [44, 2, 9, 1, 40])
TRUE = frame(2, b"TRUE")
FALS = frame(2, b"FALS")


def reply_stream(receive_mode, pieces):
    seed = Input().flag(receive_mode)
    for after_ms, raw in pieces:
        seed.number(150, after_ms).number(700, len(raw)).data(raw)
    return seed.bytes()


def artnet(first_octet_ten, datagrams):
    seed = Input().flag(first_octet_ten)
    for send_mode, universe, raw in datagrams:
        seed.flag(send_mode).number(255, universe).number(15, 1).number(600, len(raw)).data(raw)
    return seed.bytes()


def art_dmx(universe, net, level, length=530):
    head = b"Art-Net\x00" + bytes([0x00, 0x50, 0, 14, 0, 0, universe, net, 0x02, 0x00])
    return (head + bytes([level]) * 512)[:length]


ART_POLL = b"Art-Net\x00" + bytes([0x00, 0x20, 0, 14, 0, 0])
POLL_REPLY = b"Art-Net\x00" + bytes([0x00, 0x21]) + bytes(229)


def dialog(uses):
    seed = Input()
    for chosen, offset, title, file, centred in uses:
        seed.number(7, 1 if chosen else 0).number(0xFFFF, offset).text(title).text(file).flag(centred)
    return seed.bytes()


def receive_poll(send_mode, universe, pieces):
    seed = Input().flag(send_mode).number(255, universe)
    for after_ms, raw in pieces:
        seed.number(150, after_ms).number(63, 1).number(700, len(raw)).data(raw)
    return seed.bytes()


def firmware_update(stray_after_ms, pages):
    """pages: (kind, delay ms, second answer's extra delay) per page, kinds as the target numbers them."""
    seed = Input().number(3, 0 if stray_after_ms is None else 3)
    if stray_after_ms is not None:
        seed.number(300, stray_after_ms)
    for kind, delay_ms, second_ms in pages:
        seed.number(7, kind).number(300, delay_ms)
        if kind == 5:
            seed.number(300, second_ms)
    return seed.bytes()


def sacn_data(cid, priority, sequence, options, universe, levels, start_code=0):
    def flags_length(at):
        size = 126 + len(levels) - at
        return bytes([0x70 | (size >> 8), size & 0xFF])

    name = b"Desk".ljust(64, b"\x00")
    return (b"\x00\x10\x00\x00ASC-E1.17\x00\x00\x00" + flags_length(16) + bytes([0, 0, 0, 4]) + bytes([cid]) * 16
            + flags_length(38) + bytes([0, 0, 0, 2]) + name + bytes([priority, 0, 0, sequence, options])
            + universe.to_bytes(2, "big") + flags_length(115) + bytes([0x02, 0xA1, 0, 0, 0, 1])
            + (len(levels) + 1).to_bytes(2, "big") + bytes([start_code]) + bytes(levels))


def sacn_receiver(universe, steps):
    """steps: ("tick", ms), ("raw", ms, datagram) or ("built", ms, source, priority, sequence, options, universe,
    slots, alternate start code, level base, (offset, value) to change or None)."""
    seed = Input().number(2, universe - 1)
    for step in steps:
        seed.number(3000, step[1]).number(2, ["tick", "raw", "built"].index(step[0]))
        if step[0] == "raw":
            seed.number(700, len(step[2])).data(step[2])
        elif step[0] == "built":
            source, priority, sequence, options, to, slots, alternate, base, change = step[2:]
            seed.number(9, source).number(255, priority).number(255, sequence).number(255, options)
            seed.number(2, to - 1).number(512, slots).flag(alternate).number(255, base).flag(change is not None)
            if change is not None:
                seed.number(125 + slots, change[0]).number(255, change[1])
    return seed.bytes()


SEEDS = {
    "reply_stream": {
        "parameters": reply_stream(False, [(0, PARAMETERS)]),
        "report_in_pieces": reply_stream(True, [(0, b"\x00\xff" + dmx_report(7)[:100]), (2, dmx_report(7)[100:300]),
                                                (2, dmx_report(7)[300:] + PARAMETERS)]),
        "page_answers_split": reply_stream(False, [(0, TRUE[:5]), (150, TRUE[5:] + FALS[:3]), (10, FALS[3:])]),
        "stale_head": reply_stream(False, [(0, bytes([0x7E, 0x05, 0x58, 0x02, 0x00]) + PARAMETERS), (100, b"")]),
        "label_254": reply_stream(False, [(0, frame(254, b"TRUE") + frame(255, b"FALS"))]),
        "longest": reply_stream(False, [(0, frame(3, bytes([0x11]) * 600) + frame(3, bytes(601))[:20])]),
        "bad_end": reply_stream(True, [(0, bytes([0x7E, 3, 1, 0, 0x44, 0x00]) + dmx_report(3))]),
    },
    "artnet_dispatcher": {
        "poll": artnet(True, [(False, 0, ART_POLL)]),
        "dmx_matching_send": artnet(True, [(True, 3, art_dmx(3, 0, 0x44))]),
        "dmx_other_universe_and_net": artnet(False, [(True, 3, art_dmx(4, 0, 9)), (False, 3, art_dmx(3, 1, 9))]),
        "dmx_short": artnet(True, [(True, 0, art_dmx(0, 0, 0x7E, 100))]),
        "poll_reply_and_bad_id": artnet(True, [(False, 0, POLL_REPLY), (False, 0, b"art-net\x00\x00\x20")]),
    },
    "dialog_split": {
        "one_file": dialog([(True, 4, b"widget.bin", b"/fw/widget.bin\x00", True)]),
        "list": dialog([(True, 3, b"", b"/fw\x00a.bin\x00b.bin\x00\x00", False)]),
        "cancelled_then_one": dialog([(False, 0, b"", b"", True), (True, 1, b"x.bin", b"/x.bin\x00", True)]),
    },
    "firmware_update": {
        "healthy": firmware_update(None, []),
        "stray_page_96_refused": firmware_update(50, [(0, 150, 0)] * 95 + [(4, 150, 0)]),
        "page_5_twice": firmware_update(None, [(0, 10, 0)] * 4 + [(5, 10, 150)]),
    },
    "sacn_receiver": {
        "two_priorities_winner_stops": sacn_receiver(1, [("built", 0, 1, 100, 0, 0, 1, 512, False, 3, None),
                                                         ("built", 20, 2, 150, 0, 0, 1, 512, False, 9, None),
                                                         ("built", 20, 2, 150, 1, 0x40, 1, 512, False, 9, None),
                                                         ("tick", 2600)]),
        "equal_priorities_merge": sacn_receiver(2, [("built", 0, 1, 100, 0, 0, 2, 512, False, 3, None),
                                                    ("built", 20, 2, 100, 0, 0, 2, 40, False, 200, None),
                                                    ("built", 20, 1, 100, 1, 0x80, 2, 512, True, 7, None)]),
        "sequence_and_changed_byte": sacn_receiver(3, [("built", 0, 4, 100, 250, 0, 3, 512, False, 1, None),
                                                       ("built", 5, 4, 100, 251, 0, 3, 512, False, 2, (118, 0xA2)),
                                                       ("built", 5, 4, 100, 240, 0, 3, 512, False, 3, None),
                                                       ("built", 5, 4, 100, 3, 0, 3, 10, False, 4, None)]),
        "raw_packets": sacn_receiver(1, [("raw", 0, sacn_data(5, 100, 0, 0, 1, [0x80] * 512)),
                                         ("raw", 10, sacn_data(6, 120, 0, 0, 1, [1, 2, 3])),
                                         ("raw", 10, sacn_data(6, 120, 1, 0, 1, [9] * 512, 0xDD)),
                                         ("raw", 2500, sacn_data(5, 100, 1, 0, 1, [0x40] * 512))]),
        "nine_sources": sacn_receiver(1, [("built", 0, n, 100, 0, 0, 1, 512, False, n, None) for n in range(9)]),
    },
    "receive_poll": {
        "reports_receive_mode": receive_poll(False, 7, [(0, dmx_report(7)[:200]), (2, dmx_report(7)[200:]),
                                                       (2, PARAMETERS + dmx_report(3))]),
        "send_mode": receive_poll(True, 1, [(0, dmx_report(5) + TRUE)]),
        "stale_head": receive_poll(False, 0, [(0, bytes([0x7E, 0x05, 0x58, 0x02]) + dmx_report(9)), (120, b"")]),
    },
}

if __name__ == "__main__":
    root = pathlib.Path(__file__).resolve().parent / "corpus"
    for target, seeds in SEEDS.items():
        folder = root / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, raw in seeds.items():
            (folder / name).write_bytes(raw)
