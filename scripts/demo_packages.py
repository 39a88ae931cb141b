#!/usr/bin/env python3
"""Demo packages for scripts/run.

  demo_packages.py packages DIR
      writes <stem>.ini and upgrade-<stem>.zip for all seven products, and a
      selvanixnext.exe for Upgrade, into DIR (what a download server publishes)
  demo_packages.py settings FILE BASEURL TARGET
      points the installer's settings file FILE at BASEURL ("baseurl" in section
      SERVER); a new file also gets a first-run setup that installs into TARGET
"""
import os
import sys
import zipfile

PRODUCTS = [  # stem, name
    ("brodelik", "Brodělík"), ("pesmarin", "Pesmarín"), ("tulvek", "Tulvék"),
    ("zorbenka", "Zorbénka"), ("malvidor", "Malvidoř"), ("hesterka", "Hestěrka"),
    ("quobr", "Quobr"),
]
STAMP = (2024, 6, 1, 12, 0, 0)


def program(name):
    return f"""#!/bin/sh
# {name}: a demo program that shows Selvanix installed and started it.
here=$(cd "$(dirname "$0")" && pwd)
msg="{name} 14,20 was installed into $here by Selvanix and started."
echo "$msg" > "$here/started.txt"
echo "$msg"
# xmessage shows no accents: its text names the program by its file.
command -v xmessage >/dev/null 2>&1 && [ -n "$DISPLAY" ] &&
    xmessage -center "$(basename "$0") was installed into $here by Selvanix and started." &
exit 0
"""


def add(zf, name, data, executable=False):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 3  # made on Unix: the high bits carry the file mode
    info.external_attr = (0o100755 if executable else 0o100644) << 16
    zf.writestr(info, data)


def packages(folder):
    os.makedirs(folder, exist_ok=True)
    for stem, name in PRODUCTS:
        descriptor = (f"[DEFINICE]\r\nhledany={stem}.exe\r\nnazev={name}\r\nverze=14,20\r\n"
                      f"datum=1.6.2024\r\nrun={stem}.exe\r\n")
        with open(os.path.join(folder, f"{stem}.ini"), "wb") as f:
            f.write(b"\xef\xbb\xbf" + descriptor.encode("utf-8"))
        with zipfile.ZipFile(os.path.join(folder, f"upgrade-{stem}.zip"), "w") as zf:
            add(zf, f"{stem}.exe", program(name), executable=True)        # *.exe
            add(zf, f"data/{stem}.sql", f"-- {name} database\n")       # *.sql
            add(zf, f"{stem}.chm", f"{name} help\n")                     # *.chm
            add(zf, f"lib/{stem}.dll", f"{name} library\n")              # *.dll
            add(zf, f"reports/{stem}.fr3", f"<report name='{name}'/>\n")  # *.fr3 below pts
            add(zf, "readme.txt", "No mask takes text files: never installed.\n")
            add(zf, "source/notes.md", "Neither is this.\n")
    with open(os.path.join(folder, "selvanixnext.exe"), "w") as f:
        f.write("#!/bin/sh\necho 'The newer Selvanix would start here (demo).'\n")


def read_text(raw):
    for bom, codec in ((b"\xff\xfe", "utf-16-le"), (b"\xfe\xff", "utf-16-be"),
                       (b"\xef\xbb\xbf", "utf-8")):
        if raw.startswith(bom):
            return bom, codec, raw[len(bom):].decode(codec)
    return b"", "latin-1", raw.decode("latin-1")


def settings(path, baseurl, target):
    if not os.path.exists(path):
        os.makedirs(target, exist_ok=True)
        text = (f"[DEFINICE]\r\nprogram=1\r\nodkud=1\r\nodkudcesta=\r\ncilinstalace=0\r\n"
                f"kamcestaI={os.path.abspath(target)}\r\n")
        with open(path, "wb") as f:
            f.write(b"\xef\xbb\xbf" + text.encode("utf-8"))
    with open(path, "rb") as f:
        bom, codec, text = read_text(f.read())
    end = "\r\n" if "\r\n" in text else "\n"
    lines = text.split(end)
    section, done, out = None, False, []
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            if section == "SERVER" and not done:
                out.append(f"baseurl={baseurl}")
                done = True
            section = stripped[1:-1]
        elif section == "SERVER" and stripped.split("=", 1)[0].strip() == "baseurl":
            if not done:
                out.append(f"baseurl={baseurl}")
                done = True
            continue
        out.append(line)
    if not done:
        while out and out[-1] == "":
            out.pop()
        if section != "SERVER":
            out.append("[SERVER]")
        out += [f"baseurl={baseurl}", ""]
    with open(path, "wb") as f:
        f.write(bom + end.join(out).encode(codec))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "packages":
        packages(sys.argv[2])
    elif len(sys.argv) == 5 and sys.argv[1] == "settings":
        settings(*sys.argv[2:])
    else:
        sys.exit(__doc__)
