#!/usr/bin/env python3
"""Screenshot checks for the end-to-end tests (regions read through ImageMagick).

  shots.py halved BEFORE AFTER X Y W H      AFTER's pixels are BEFORE's with every byte halved
  shots.py same A B X Y W H [X2 Y2] [TOL]   region of A at X,Y equals region of B at X2,Y2
  shots.py like IMAGE X Y REFERENCE [W H]   region at X,Y looks like REFERENCE (JPEG decoders differ),
                                            or like REFERENCE shrunk to W x H by area averaging
  shots.py count IMAGE X Y W H R G B        pixels of exactly that colour
Exit status 0 when the check holds; a line with the numbers is printed either way.
"""
import os
import subprocess
import sys
import tempfile

# A caret blinking in the snapshot may differ from the screenshot: allow this share.
MISMATCH_SHARE = 0.001


def region(path, x, y, w, h):
    raw = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                          "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    if len(raw) != w * h * 3:
        sys.exit("region %dx%d+%d+%d of %s is outside the picture" % (w, h, x, y, path))
    return raw


def size(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True).stdout
    w, h = out.split()
    return int(w), int(h)


def halved(before, after, x, y, w, h):
    a, b = region(before, x, y, w, h), region(after, x, y, w, h)
    bad = sum(1 for i in range(0, len(a), 3)
              if b[i] != a[i] >> 1 or b[i + 1] != a[i + 1] >> 1 or b[i + 2] != a[i + 2] >> 1)
    changed = sum(1 for i in range(len(a)) if a[i] != b[i])
    print("halved: %d of %d pixels differ from the halved original (%d bytes changed)" % (bad, w * h, changed))
    return bad <= MISMATCH_SHARE * w * h and changed > 0


def same(a_path, b_path, x, y, w, h, x2, y2, tol):
    a, b = region(a_path, x, y, w, h), region(b_path, x2, y2, w, h)
    bad = sum(1 for i in range(0, len(a), 3)
              if max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2])) > tol)
    print("same: %d of %d pixels differ by more than %d" % (bad, w * h, tol))
    return bad <= MISMATCH_SHARE * w * h


def like(image, x, y, reference, to=None):
    if to:
        with tempfile.TemporaryDirectory() as d:
            shrunk = os.path.join(d, "reference.png")
            subprocess.run(["convert", reference, "-filter", "box", "-resize", "%dx%d!" % to, shrunk], check=True)
            return like(image, x, y, shrunk)
    w, h = size(reference)
    a, b = region(image, x, y, w, h), region(reference, 0, 0, w, h)
    far = sum(1 for i in range(0, len(a), 3)
              if max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2])) > 48)
    mean = sum(abs(a[i] - b[i]) for i in range(len(a))) / len(a)
    print("like: mean difference %.2f, %d of %d pixels far off" % (mean, far, w * h))
    # Controls drawn over the face (texts, edit boxes, icons) account for the far pixels.
    return mean < 6 and far < 0.08 * w * h


def count(image, x, y, w, h, r, g, b):
    a = region(image, x, y, w, h)
    n = sum(1 for i in range(0, len(a), 3) if a[i] == r and a[i + 1] == g and a[i + 2] == b)
    print(n)
    return True


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    cmd, args = argv[1], argv[2:]
    if cmd == "halved":
        ok = halved(args[0], args[1], *map(int, args[2:6]))
    elif cmd == "same":
        nums = list(map(int, args[2:]))
        x, y, w, h = nums[:4]
        x2, y2 = (nums[4], nums[5]) if len(nums) >= 6 else (x, y)
        tol = nums[6] if len(nums) >= 7 else 0
        ok = same(args[0], args[1], x, y, w, h, x2, y2, tol)
    elif cmd == "like":
        to = (int(args[4]), int(args[5])) if len(args) >= 6 else None
        ok = like(args[0], int(args[1]), int(args[2]), args[3], to)
    elif cmd == "count":
        ok = count(args[0], *map(int, args[1:8]))
    else:
        sys.exit(__doc__)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
