#!/usr/bin/env python3
"""The file work of tools/package: what a release carries, its zips, and reading back the programs and
shortcuts that the checks look at. Each command fails with a message saying what is wrong.

  stage EXE README.md CONFIG VERSION DIR   DIR gets Quorvid.exe, README.txt, config.ini.example
  zip DIR ZIP EPOCH                        DIR's files into ZIP, the same bytes every time
  check-zip ZIP ARCH VERSION               the zip holds exactly a release, with the right program
  check-lnk LNK TARGET ARGUMENTS WORKDIR   a shell link's target, arguments and "Start in"
  check-setup EXE VERSION                  an installer's version record, and a manifest that asks for
                                           no administrator rights and declares it DPI-aware
"""
import os
import shutil
import struct
import sys
import time
import zipfile

RELEASE_FILES = ["Quorvid.exe", "README.txt", "config.ini.example"]
TEXT_FILES = ["README.txt", "config.ini.example"]
# PE machine and optional-header magic of each target.
MACHINES = {"i686": (0x14C, 0x10B, "PE32"), "x86_64": (0x8664, 0x20B, "PE32+")}


def fail(message):
    sys.exit(message)


def crlf(text):
    """Notepad before Windows 10 shows a file of bare line feeds as one long line."""
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")


def windows_readme(markdown, version):
    """The README's section for Windows users, as plain text: one source for both."""
    lines = markdown.splitlines()
    try:
        start = lines.index("## For Windows users") + 1
    except ValueError:
        fail("README.md has no '## For Windows users' section")
    end = next((i for i in range(start, len(lines)) if lines[i].startswith("## ")), len(lines))
    body = "\n".join(lines[start:end]).strip("\n").replace("**", "").replace("`", "")
    body = body.replace("<version>", version)
    title = "Quorvid Sharing Application %s" % version
    return "%s\n%s\n\n%s\n" % (title, "=" * len(title), body)


def stage(exe, readme, config, version, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copyfile(exe, os.path.join(folder, "Quorvid.exe"))
    with open(readme, encoding="utf-8") as f:
        text = windows_readme(f.read(), version)
    with open(os.path.join(folder, "README.txt"), "wb") as f:
        f.write(crlf(text))
    with open(config, encoding="ascii") as f:
        text = f.read()
    with open(os.path.join(folder, "config.ini.example"), "wb") as f:
        f.write(crlf(text))


def make_zip(folder, out, epoch):
    """Sorted entries, one fixed time, no owner or permission bits: only the contents can differ."""
    stamp = max(int(epoch), 315532800)  # a zip cannot date anything before 1980
    date_time = time.gmtime(stamp)[:6]
    names = sorted(
        os.path.relpath(os.path.join(d, n), folder).replace(os.sep, "/")
        for d, _, files in os.walk(folder)
        for n in files
    )
    with zipfile.ZipFile(out, "w") as z:
        for name in names:
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 0  # MS-DOS: no Unix mode bits
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as f:
                z.writestr(info, f.read(), compresslevel=9)


class Pe:
    """Just enough of a PE file: its header and its resources."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            fail("not a Windows program")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe : self.pe + 4] != b"PE\0\0":
            fail("no PE header")
        self.machine, sections, _, _, _, optional_size = struct.unpack_from("<HHIIIH", data, self.pe + 4)
        self.optional = self.pe + 24
        self.magic = struct.unpack_from("<H", data, self.optional)[0]
        table = self.optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        fail("address %#x is in no section" % rva)

    def version_record(self):
        directories = self.optional + (96 if self.magic == 0x10B else 112)
        rva = struct.unpack_from("<I", self.data, directories + 2 * 8)[0]
        if not rva:
            fail("no resources")
        base = self.offset(rva)

        def first_entry(directory, wanted=None):
            named, ids = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                if wanted is None or key == wanted:
                    return target & 0x7FFFFFFF
            fail("no version record")

        entry = base + first_entry(base + first_entry(base + first_entry(base, 16)))
        data_rva, size = struct.unpack_from("<II", self.data, entry)
        start = self.offset(data_rva)
        return self.data[start : start + size]


def version_strings(record):
    """The fixed part's file and product versions and the FileVersion and ProductVersion strings."""
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    if record[6 : 6 + len(key)] != key:
        fail("the version record does not begin as one")
    fixed = (6 + len(key) + 3) & ~3
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", record, fixed)
    if signature != 0xFEEF04BD:
        fail("the version record has no fixed part")

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    found = {"fixed file": dotted(file_ms, file_ls), "fixed product": dotted(product_ms, product_ls)}
    for name in ("FileVersion", "ProductVersion"):
        at = record.find((name + "\0").encode("utf-16-le"))
        if at < 0:
            fail("the version record has no %s" % name)
        value = (at + 2 * (len(name) + 1) + 3) & ~3
        end = record.find(b"\0\0", value)
        while end >= 0 and (end - value) % 2:
            end = record.find(b"\0\0", end + 1)
        found[name] = record[value:end].decode("utf-16-le")
    return found


def check_exe(data, arch, version):
    """The program's architecture and version record."""
    pe = Pe(data)
    machine, magic, kind = MACHINES[arch]
    if (pe.machine, pe.magic) != (machine, magic):
        fail("Quorvid.exe is not %s (machine %#x, magic %#x)" % (kind, pe.machine, pe.magic))
    wrong = {k: v for k, v in version_strings(pe.version_record()).items() if v != version}
    if wrong:
        fail("Quorvid.exe's version is not %s: %s" % (version, wrong))


def check_setup(path, version):
    with open(path, "rb") as f:
        data = f.read()
    wrong = {k: v for k, v in version_strings(Pe(data).version_record()).items() if v != version}
    if wrong:
        fail("%s: the version is not %s: %s" % (path, version, wrong))
    start = data.find(b"<assembly")
    manifest = data[start : data.find(b"</assembly>", start)]
    for wanted in (b'requestedExecutionLevel level="asInvoker"', b">true</dpiAware>"):
        if start < 0 or wanted not in manifest:
            fail("%s: the manifest lacks %s" % (path, wanted.decode()))


def check_zip(path, arch, version):
    with zipfile.ZipFile(path) as z:
        names = sorted(z.namelist())
        if names != sorted(RELEASE_FILES):
            fail("%s holds %s, not %s" % (path, names, sorted(RELEASE_FILES)))
        for name in TEXT_FILES:
            text = z.read(name)
            if text.count(b"\n") != text.count(b"\r\n") or not text.endswith(b"\r\n"):
                fail("%s: %s is not CRLF text" % (path, name))
        check_exe(z.read("Quorvid.exe"), arch, version)


def read_lnk(path):
    """Target, arguments and working folder of a shell link (MS-SHLLINK): the target as its local path."""
    with open(path, "rb") as f:
        data = f.read()
    if struct.unpack_from("<I", data, 0)[0] != 0x4C:
        fail("%s is not a shell link" % path)
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x01:  # an item list comes first
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & 0x02:
        size, header, info_flags, _, base, _, suffix = struct.unpack_from("<7I", data, at)
        if info_flags & 1:  # a local path: base and suffix, zero-ended
            target = "".join(data[at + o : data.index(b"\0", at + o)].decode("latin-1") for o in (base, suffix))
        at += size
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "workdir"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            width = 2 if unicode else 1
            raw = data[at + 2 : at + 2 + count * width]
            # Some writers count the terminating zero as well.
            strings[name] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            at += 2 + count * width
    return target, strings.get("arguments", ""), strings.get("workdir", "")


def check_lnk(path, target, arguments, workdir):
    found = read_lnk(path)
    wanted = (target, arguments, workdir)
    # Windows paths compare without case; the program's switches do not.
    if (found[0].lower(), found[1], found[2].lower()) != (target.lower(), arguments, workdir.lower()):
        fail("%s: target, arguments, Start in are %s, not %s" % (os.path.basename(path), found, wanted))


COMMANDS = {
    "stage": (stage, 5),
    "zip": (make_zip, 3),
    "check-zip": (check_zip, 3),
    "check-lnk": (check_lnk, 4),
    "check-setup": (check_setup, 2),
}

if __name__ == "__main__":
    command = COMMANDS.get(sys.argv[1] if len(sys.argv) > 1 else "")
    if not command or len(sys.argv) != command[1] + 2:
        fail(__doc__)
    command[0](*sys.argv[2:])
