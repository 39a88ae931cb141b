#!/usr/bin/env python3
"""Demo packages for scripts/run.

  demo_packages.py packages TOOL KEY DIR
      publishes all seven products with the publisher's tool TOOL (selvanix-publish) and
      the private key KEY: <stem>.ini and upgrade-<stem>.zip, signed, and a signed
      selvanixnext.exe for Upgrade, into DIR (what a download server publishes)
  demo_packages.py update TOOL KEY FIRST DIR
      the same products' second release (14,30) into DIR, with deltas from the first
      release's archives in FIRST, so that an update fetches only what changed
  demo_packages.py settings FILE BASEURL PUBLICKEY TARGET
      points the installer's settings file FILE at BASEURL and the publisher's PUBLICKEY
      ("baseurl" and "publickey" in section SERVER); a new file also gets a first-run
      setup that installs into TARGET
"""
import os
import random
import subprocess
import sys
import tempfile

PRODUCTS = [  # stem, name
    ("brodelik", "Brodělík"), ("pesmarin", "Pesmarín"), ("tulvek", "Tulvék"),
    ("zorbenka", "Zorbénka"), ("malvidor", "Malvidoř"), ("hesterka", "Hestěrka"),
    ("quobr", "Quobr"),
]
STAMP = 1717243200  # 1 June 2024, 12:00 UTC: the same packages on every run


def program(name, version):
    return f"""#!/bin/sh
# {name}: a demo program that shows Selvanix installed and started it.
# Selvanix starts it in its target folder, from the open file ($0 names a descriptor).
here=$(pwd)
msg="{name} {version} was installed into $here by Selvanix and started."
echo "$msg" > "$here/started.txt"
echo "$msg"
# xmessage shows no accents: its text names the program by its file.
command -v xmessage >/dev/null 2>&1 && [ -n "$DISPLAY" ] &&
    xmessage -center "The demo program was installed into $here by Selvanix and started." &
exit 0
"""


def samples(stem, release):
    """About a megabyte of sample records, the same on every run; the second release changes
    one record in a hundred, as a real update changes a little of a large file."""
    rng = random.Random(stem)
    words = ["brod", "les", "řeka", "most", "pole", "vrch", "luka", "mlýn", "sad", "dům"]
    lines = []
    for i in range(20000):
        record = " ".join(rng.choice(words) for _ in range(6))
        if release == 2 and i % 100 == 7:
            record += " (opraveno)"
        lines.append(f"insert into vzory values ({i}, '{record}');")
    return "\n".join(lines) + "\n"


def write(folder, name, data, executable=False):
    path = os.path.join(folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(data)
    os.chmod(path, 0o755 if executable else 0o644)
    os.utime(path, (STAMP, STAMP))


def publish(tool, key, folder, release, first=None):
    version = "14,20" if release == 1 else "14,30"
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as sources:
        for stem, name in PRODUCTS:
            src = os.path.join(sources, stem)
            write(src, f"{stem}.exe", program(name, version), executable=True)  # *.exe
            write(src, f"data/{stem}.sql", f"-- {name} database {version}\n")   # *.sql
            write(src, f"data/{stem}-vzory.sql", samples(stem, release))
            write(src, f"{stem}.chm", f"{name} help\n")                         # *.chm
            write(src, f"lib/{stem}.dll", f"{name} library {version}\n")        # *.dll
            write(src, f"reports/{stem}.fr3", f"<report name='{name}'/>\n")     # below pts
            write(src, "readme.txt", "No mask takes text files: never installed.\n")
            write(src, "source/notes.md", "Neither is this.\n")
            previous = ["--previous", os.path.join(first, f"upgrade-{stem}.zip")] if first else []
            # The readme and notes are there on purpose: the tool's warnings about them
            # are expected, so they are not shown.
            subprocess.run([tool, "package", "--key", key, "--stem", stem, "--name", name,
                            "--version", version, "--date",
                            "1.6.2024" if release == 1 else "1.9.2024", "--marker",
                            f"{stem}.exe", "--run", f"{stem}.exe", *previous, src, folder],
                           check=True, stderr=subprocess.DEVNULL)
    nxt = os.path.join(folder, "selvanixnext.exe")
    with open(nxt, "w") as f:
        f.write("#!/bin/sh\necho 'The newer Selvanix would start here (demo).'\n")
    # Far above any real release, so Upgrade always takes it as newer.
    subprocess.run([tool, "sign", "--key", key, "--version", "99.0", nxt], check=True)


def packages(tool, key, folder):
    publish(tool, key, folder, 1)


def update(tool, key, first, folder):
    publish(tool, key, folder, 2, first)


def read_text(raw):
    for bom, codec in ((b"\xff\xfe", "utf-16-le"), (b"\xfe\xff", "utf-16-be"),
                       (b"\xef\xbb\xbf", "utf-8")):
        if raw.startswith(bom):
            return bom, codec, raw[len(bom):].decode(codec)
    return b"", "latin-1", raw.decode("latin-1")


def settings(path, baseurl, publickey, target):
    if not os.path.exists(path):
        os.makedirs(target, exist_ok=True)
        text = (f"[DEFINICE]\r\nprogram=1\r\nodkud=1\r\nodkudcesta=\r\ncilinstalace=0\r\n"
                f"kamcestaI={os.path.abspath(target)}\r\n")
        with open(path, "wb") as f:
            f.write(b"\xef\xbb\xbf" + text.encode("utf-8"))
    with open(path, "rb") as f:
        bom, codec, text = read_text(f.read())
    end = "\r\n" if "\r\n" in text else "\n"
    wanted = {"baseurl": baseurl, "publickey": publickey}
    section, out = None, []

    def flush():
        out.extend(f"{k}={v}" for k, v in wanted.items())
        wanted.clear()

    for line in text.split(end):
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            if section == "SERVER":
                flush()
            section = stripped[1:-1]
        elif section == "SERVER" and stripped.split("=", 1)[0].strip() in ("baseurl", "publickey"):
            continue  # written anew
        out.append(line)
    if wanted:
        while out and out[-1] == "":
            out.pop()
        if section != "SERVER":
            out.append("[SERVER]")
        flush()
        out.append("")
    with open(path, "wb") as f:
        f.write(bom + end.join(out).encode(codec))


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "packages":
        packages(*sys.argv[2:])
    elif len(sys.argv) == 6 and sys.argv[1] == "update":
        update(*sys.argv[2:])
    elif len(sys.argv) == 6 and sys.argv[1] == "settings":
        settings(*sys.argv[2:])
    else:
        sys.exit(__doc__)
