#!/usr/bin/env python3
"""A Python host: loads VOSK_Log with ctypes, writes a few records and
checks that they are in the file.

    python3 vosk_log_host.py <path of the library> <log directory>

Messages go in as data for a "%s" format, never as the format itself, so a
percent sign in them is written as it is. The directory is made absolute
here: a relative one would be taken from the directory of the Python
interpreter, not from the current directory.
"""
import ctypes
import os
import sys


def load(path):
    """The library with every export's argument and result types declared."""
    lib = ctypes.CDLL(path)  # the exports are cdecl on every platform
    handle = ctypes.c_void_p  # LogHandle is a pointer; an int would cut it on 64-bit
    lib.SL_CreateLog.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int]
    lib.SL_CreateLog.restype = handle
    lib.SL_DestroyLog.argtypes = [handle]
    lib.SL_DestroyLog.restype = None
    lib.SL_ChangeLevel.argtypes = [handle, ctypes.c_int]
    lib.SL_ChangeLevel.restype = None
    # Variadic: only the fixed arguments are declared; the values follow.
    lib.SL_TraceLog.argtypes = [handle, ctypes.c_int, ctypes.c_char_p]
    lib.SL_TraceLog.restype = None
    lib.SL_Write.argtypes = [handle, ctypes.c_char_p]
    lib.SL_Write.restype = None
    lib.SL_SetLogDiskLimit.argtypes = [ctypes.c_uint]
    lib.SL_SetLogDiskLimit.restype = None
    lib.SL_SetLogArchive.argtypes = [handle, ctypes.c_int]
    lib.SL_SetLogArchive.restype = None
    lib.SL_SetLogOption.argtypes = [handle, ctypes.c_int, ctypes.c_int]
    lib.SL_SetLogOption.restype = ctypes.c_int  # 0 when set, negative when refused
    # SL_Print takes a C va_list, which ctypes cannot build: use SL_TraceLog.
    return lib


def trace(lib, log, level, message):
    lib.SL_TraceLog(log, level, b"%s", ctypes.c_char_p(message.encode("utf-8")))


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    lib = load(sys.argv[1])
    directory = os.path.abspath(sys.argv[2])

    log = lib.SL_CreateLog(directory.encode("utf-8"), b"python.log", 0, 3)
    if not log:
        print("SL_CreateLog failed", file=sys.stderr)
        return 1
    kept = ["hello from Python", "100% done; %s, %n and %d stay text", "caf\u00e9 in UTF-8"]
    for message in kept:
        trace(lib, log, 1, message)
    trace(lib, log, 4, "level 4 is above the threshold 3: dropped")

    # Records are in the file when the call returns.
    path = os.path.join(directory, "python.log")
    with open(path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    lib.SL_DestroyLog(log)

    # Each line is "[YYYY-MM-DD hh:mm:ss.mmm] " and the message.
    written = [line[26:] for line in lines]
    if written != kept:
        print(f"{path}: expected {kept}, found {written}", file=sys.stderr)
        return 1
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
