#!/usr/bin/python3
"""A stand-in native-messaging host for the extension's tests.

Reads one framed request, appends its text as one line to $KV_FAKE_LOG and,
after the seconds written in $KV_FAKE_DELAY, answers with the bytes of
$KV_FAKE_REPLY as one frame (nothing when that file is empty), as the
capture host would. While the folder $KV_FAKE_REPLY.queue holds files, the
first of them (by name) is the answer instead, and is removed.
"""
import os
import struct
import sys
import time

stdin, stdout = sys.stdin.buffer, sys.stdout.buffer
header = stdin.read(4)
size = struct.unpack("<I", header)[0] if len(header) == 4 else 0
body = stdin.read(size)
with open(os.environ["KV_FAKE_LOG"], "ab") as log:
    log.write(body + b"\n")
with open(os.environ["KV_FAKE_DELAY"]) as f:
    time.sleep(float(f.read() or 0))
reply_path = os.environ["KV_FAKE_REPLY"]
queue = reply_path + ".queue"
queued = sorted(os.listdir(queue)) if os.path.isdir(queue) else []
if queued:
    reply_path = os.path.join(queue, queued[0])
with open(reply_path, "rb") as f:
    reply = f.read()
if queued:
    os.unlink(reply_path)
if reply:
    stdout.write(struct.pack("<I", len(reply)) + reply)
    stdout.flush()
