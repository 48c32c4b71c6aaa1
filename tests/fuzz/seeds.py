#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target (cases of the unit tests) into
DIR/<target>/: seeds.py DIR."""
import struct
import sys
from pathlib import Path

REQUESTS = [
    '{"Command":"StartCapture"}', '{"FileName":null}', '{"FileName":"a.png","FileName":"b.png"}',
    'null', '/* note */ {"Command":"Upload" // trailing\n}', '{"TipInfo":18446744073709551615}',
    '{"TipInfo":0.1}', '{"TipInfo":"a\\u0000b"}', '{"TipInfo":"\\u622a\\u56fe"}',
    '{"CaptureLeft":-12.9,"CaptureWinIndex":3.0,"AutoMinimize":2}', '[1,2]',
    '{"Command":"CaptureScreen","TipInfo":[1]}', '{"Command":"Upload","PostUrl":"up.php",'
    '"PageUrl":"http://h/dir/page.html","PostParams":"a=1&&b=2","WinName":"\u622a\u56fe"}',
    '{"FileName":"\xe6\x88\xaa\xe5\x9b\xbe.png","CaptureHeight":-2147483648}',
]
URLS = ["http://h/x", "https://h/x?a=1#f", "h:8080/x/y", "127.0.0.1:5000", "http://h?q=1",
        "HTTPS://h/x", "http://u:p:q@h/x", "http://h:1/a@b:2/c", "http://h:12ab/x",
        "http://h:65536/x", "http://u:p@/x", "upload.php?x=1\0http://127.0.0.1/dir/page.html"]
FILE_NAMES = [b"\0shot.png", b"\0noext", b"\0a.b.gif", b"\0..", b"\0CON.png", b"\0COM\xb9",
              b"\1\xb1\\.png", b"\1\xbd\xd8\xcd\xbc", b"\2\x95\\\x95\\", b"\0..\\evil.png",
              b"\0C:x.png", b"\1\xa5\\\\..\\x"]
PARAMS = ["a=1&&b=2", "k=x=y", "&flag&empty=&=lead&", 'we"ird\r\nname=line1\r\nline2 "q"&next=ok',
          "a=x\r\n----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n&b=2", "\u6807\u9898=\u622a\u56fe"]
UTF8 = [b"", b"abc", "\u622a\u56fe".encode(), b"\xc3", b"\xe6\x88", b"\xed\xa0\x80", b"\xf4\x90\x80\x80",
        b"\xc0\xaf", b"a\0b", b"\xff\xfe", "\U0001F600".encode()]


def frame(body):
    return struct.pack("<I", len(body)) + body


SEEDS = {
    "frame_fuzz": [b"\0\0\0\0", frame(b'{"Command":"x"}'), struct.pack("<I", 64 << 20 | 1),
                   frame(b"ab\0cd"), b"\x10\0\0\0short", b"\x05"],
    "request_fuzz": [r.encode() for r in REQUESTS],
    "event_fuzz": [b"\x0bOnExit", b"\x12OnCaptureCompleted\x05C:\\a\"\x03YWJj\xff\xff",
                   "\x10OnUploadCompleted\x06\u622a\u56fe\x01\n".encode()],
    "url_fuzz": [u.encode() for u in URLS],
    "file_name_fuzz": FILE_NAMES,
    "multipart_fuzz": [p.encode() for p in PARAMS],
    "utf8_fuzz": UTF8,
    "png_fuzz": [b"\x00\x00\x00", b"\x3f\x1f\x07" + bytes(range(256)), b"\x10\x05\x02ab",
                 b"\x05\x03\x01" + bytes(97)],
    "base64_fuzz": [b"", b"a", b"ab", b"abc", bytes(range(57)), bytes(range(256))],
    "base64_decode_fuzz": [b"", b"YWJj", b"YQ==", b"YWI=", b"YW\r\nJj", b"YR==", b"Y===",
                           b"YQ==YQ=="],
}


def main():
    root = Path(sys.argv[1])
    for target, seeds in SEEDS.items():
        folder = root / target
        folder.mkdir(parents=True, exist_ok=True)
        for i, seed in enumerate(seeds):
            (folder / f"seed-{i:02d}").write_bytes(seed)


if __name__ == "__main__":
    main()
