#!/usr/bin/env python3
# A package of COUNT files of 0.5 to 8 KiB, a tenth of them in sub-folders,
# half text and half noise, with its files.txt: the package the benchmarks
# synchronise. The same COUNT always gives the same bytes.
#   make-package.py FOLDER COUNT
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(count)
lines = []
for i in range(count):
    name = "sub%d\\f%05d.dll" % (i % 7, i) if i % 10 == 0 else "f%05d.dll" % i
    path = os.path.join(folder, *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    size = rnd.randint(512, 8192)
    half = size // 2  # half text, half noise
    with open(path, "wb") as f:
        f.write((b"package line %d " % i * (half // 16 + 1))[:half] + rnd.randbytes(size - half))
    lines.append("%s=1.0.0.%d" % (name, i % 50))
with open(os.path.join(folder, "files.txt"), "w", newline="") as f:
    f.write("".join(l + "\r\n" for l in lines))
