#!/usr/bin/env python3
"""Times presses of Command1 through the real window, from the click to magic-new.ini replaced.

  bench/window_press.py FOLDER ROUNDS PROGRAM...

Starts each PROGRAM (a Linux Sigilflip, a Release build for figures that mean anything) on FOLDER
under its own Xvfb, presses Command1 with xdotool once unmeasured, then ROUNDS times in turn, each
press after a synced floor on the same folder: magic.ini read twice and copied to a new file,
fsynced and renamed over an older copy, with plain reads and writes of 64 KiB. Prints the medians
and each press against the floor's median. Needs Xvfb and xdotool.
"""
import os
import statistics
import subprocess
import sys
import time

folder, rounds, programs = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
source = os.path.join(folder, "magic.ini")
output = os.path.join(folder, "magic-new.ini")
buffer = bytearray(65536)


def synced_floor():
    start = time.perf_counter()
    for _ in range(2):
        fd = os.open(source, os.O_RDONLY)
        while os.readv(fd, [buffer]):
            pass
        os.close(fd)
    copy = os.path.join(folder, "floor.tmp")
    fd = os.open(source, os.O_RDONLY)
    out = os.open(copy, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    while count := os.readv(fd, [buffer]):
        os.write(out, memoryview(buffer)[:count])
    os.fsync(out)
    os.close(out)
    os.close(fd)
    os.rename(copy, os.path.join(folder, "floor.ini"))
    return time.perf_counter() - start


def press(window):
    # magic-new.ini is complete when it is renamed into place: a new file, with another inode.
    before = os.stat(output).st_ino if os.path.exists(output) else None
    start = time.perf_counter()
    subprocess.run(["xdotool", "mousemove", "--window", window, "92", "176", "click", "1"],
                   check=True)
    while not os.path.exists(output) or os.stat(output).st_ino == before:
        time.sleep(0.0002)
    return time.perf_counter() - start


read_end, write_end = os.pipe()
xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "640x480x24",
                         "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
os.environ["DISPLAY"] = ":" + os.read(read_end, 16).decode().strip()
running = []
try:
    windows = {}
    for program in programs:
        process = subprocess.Popen([program, folder], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        running.append(process)
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                                str(process.pid), "--name", "^Form1$"],
                               capture_output=True, text=True, timeout=30, check=True)
        windows[program] = found.stdout.split()[0]
        press(windows[program])
    floors, presses = [], {program: [] for program in programs}
    for _ in range(rounds):
        for program in programs:
            floors.append(synced_floor())
            presses[program].append(press(windows[program]))
            time.sleep(0.3)
    floor = statistics.median(floors)
    print(f"synced floor: median {floor * 1000:.0f} ms of {len(floors)}")
    for program, times in presses.items():
        median = statistics.median(times)
        print(f"{program}: median {median * 1000:.0f} ms, {median / floor:.2f} times the floor "
              f"(each: {' '.join(f'{t * 1000:.0f}' for t in times)} ms)")
finally:
    for process in running:
        process.kill()
    xvfb.kill()
