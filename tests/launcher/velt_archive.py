"""Reads and rewrites installers for the launcher's end-to-end tests.

An installer is the stub with a last section ".velt" that holds the archive:
six header words, the scrambled and packed description, then the file-data
block (or its first part). This module takes one apart into plain Python
values and puts it back together, recomputing the key, the checksums and the
PE sizes, so that a test can damage exactly one field.
"""

import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import velt_format as vf  # noqa: E402

ARCHIVE_MAGIC = vf.kArchiveMagic
ARCHIVE_VERSION = vf.kArchiveVersion
BLOCK_MAGIC = vf.kBlockMagic
END_MARKER = vf.kDescriptionEndMarker
CHECKSUM_START = vf.kChecksumStart
ICON_SIZE = vf.kUninstallerIconSize
SECTION_NAME = vf.kArchiveSectionName.encode()
HEADER_SIZE = vf.kArchiveHeaderSize
SECTION_ENTRY_SIZE = vf.kSectionEntrySize

PF_NEEDS_MASTER = vf.PfNeedsMaster
PF_CHECKSUMS = vf.PfChecksums
PF_COMPRESSED = vf.PfCompressed


def checksum(data):
    """The archive's additive sum: whole words unsigned, tail bytes signed,
    then the length."""
    n = len(data)
    if n < 1:
        return CHECKSUM_START
    words = n // 4
    total = CHECKSUM_START + sum(struct.unpack_from("<%dI" % words, data, 0))
    for b in data[words * 4:]:
        total += b - 256 if b >= 128 else b
    return (total + n) & 0xFFFFFFFF


def scramble(data, key):
    """XOR with the key word; the tail takes the key's low bytes in order."""
    data = bytearray(data)
    words = len(data) // 4
    for i in range(words):
        (w,) = struct.unpack_from("<I", data, i * 4)
        struct.pack_into("<I", data, i * 4, w ^ key)
    for j, i in enumerate(range(words * 4, len(data))):
        data[i] ^= (key >> (8 * j)) & 0xFF
    return bytes(data)


class _Bits:
    def __init__(self, data):
        self.data, self.pos, self.count = data, 64, len(data) * 8

    def bit(self):
        if self.pos >= self.count:
            return 0
        b = (self.data[self.pos >> 3] >> (self.pos & 7)) & 1
        self.pos += 1
        return b

    def bits(self, n):
        if n < 1 or self.pos + n > self.count:
            raise ValueError("short block")
        v = 0
        for i in range(n):
            v |= self.bit() << i
        return v

    def number(self, base, step):
        if self.pos + 2 > self.count:
            raise ValueError("short block")
        width = 0
        while self.bit():
            width += step
        return self.bits(min(width + base, 32))


def unpack(block):
    """Expands one compressed block (literal runs, byte runs, copies)."""
    magic, length = struct.unpack_from("<Ii", block, 0)
    if magic != BLOCK_MAGIC:
        raise ValueError("no block")
    r, out = _Bits(block), bytearray()
    while len(out) < length:
        if r.bit() == 0:
            count = r.number(2, 2) + 1
            out += bytes(r.bits(8) for _ in range(count))
        elif r.bit() == 1:
            value = r.bits(8)
            out += bytes([value]) * (r.number(1, 1) + 3)
        else:
            n = r.number(2, 1) + 4
            distance = r.number(12, 2) + 4
            start = len(out) - distance
            if start < 0 or n > distance:
                raise ValueError("bad copy")
            out += out[start:start + n]
    if len(out) != length:
        raise ValueError("overshoot")
    return bytes(out)


def pack(data):
    """A valid block of literal runs only: bigger than the builder's, but
    every byte is where a test expects it."""
    bits = []

    def put(value, n):
        bits.extend((value >> i) & 1 for i in range(n))

    def number(value, base, step):
        k = 0
        while value >= (1 << min(base + k * step, 32)):
            k += 1
        put((1 << k) - 1, k)
        put(0, 1)
        put(value, min(base + k * step, 32))

    for start in range(0, len(data), 4096):
        chunk = data[start:start + 4096]
        put(0, 1)
        number(len(chunk) - 1, 2, 2)
        for b in chunk:
            put(b, 8)
    while len(bits) % 8:
        bits.append(0)
    body = bytes(sum(bits[i + j] << j for j in range(8)) for i in range(0, len(bits), 8))
    return struct.pack("<Ii", BLOCK_MAGIC, len(data)) + body


# The description as a dict keyed by the C++ field names: the fields of
# velt_format.DESCRIPTION_FIELDS (archive/description.h) in their order, a
# date as a list of its words, masterProduct None when the flags hold no
# PfNeedsMaster, uninstallerIcon b"" when iconOffset is not positive. The
# arrays stand where archive/description.h says: fileCount and storedSizes
# after archiveDate; associations (a list of (flags, [texts])),
# languageCount, messageCount, languageNames, messages (a list per message
# of its text per language) and endMarker after the last field.
_VALUES = {"uint32_t": "<I", "int32_t": "<i", "int16_t": "<h", "uint8_t": "<B"}
_SIZES_FOLLOW = "archiveDate"


class _Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def value(self, fmt):
        """Past the end, zeros."""
        size = struct.calcsize(fmt)
        v = struct.unpack_from(fmt, self.data[self.pos:self.pos + size].ljust(size, b"\0"))[0]
        self.pos += size
        return v

    def int(self):
        return self.value("<i")

    def text(self):
        end = self.data.find(b"\0", self.pos)
        if end < 0:
            end = len(self.data)
        v = self.data[self.pos:end]
        self.pos = end + 1
        return v

    def raw(self, n):
        v = self.data[self.pos:self.pos + n]
        self.pos += n
        return v


def _read_field(r, d, kind, ctype, name):
    if kind == "text":
        return None if name == "masterProduct" and not d["productFlags"] & PF_NEEDS_MASTER \
            else r.text()
    if kind == "bytes":
        if name == "uninstallerIcon":
            return r.raw(ICON_SIZE) if d["iconOffset"] > 0 else b""
        return r.raw(r.int())
    if ctype == "DateTime":
        return [r.int() for _ in vf.DATE_WORDS]
    return r.value(_VALUES[ctype])


def read_description(data):
    r, d = _Reader(data), {}
    for kind, ctype, name in vf.DESCRIPTION_FIELDS:
        d[name] = _read_field(r, d, kind, ctype, name)
        if name == _SIZES_FOLLOW:
            d["fileCount"] = r.int()
            d["storedSizes"] = [r.int() for _ in range(d["fileCount"])]
    d["associations"] = [(r.int(), [r.text() for _ in vf.ASSOCIATION_TEXTS])
                         for _ in range(max(r.int(), 0))]
    d["languageCount"] = r.value("<B")
    d["messageCount"] = r.int()
    d["languageNames"] = [r.text() for _ in range(d["languageCount"])]
    d["messages"] = [[r.text() for _ in range(d["languageCount"])]
                     for _ in range(d["messageCount"])]
    d["endMarker"] = r.value("<I")
    return d


def write_description(d):
    out = bytearray()
    i32 = lambda v: out.extend(struct.pack("<I", v & 0xFFFFFFFF))
    text = lambda t: out.extend(t + b"\0")
    for kind, ctype, name in vf.DESCRIPTION_FIELDS:
        v = d[name]
        if kind == "text":
            if v is not None:
                text(v)
        elif kind == "bytes":
            if name != "uninstallerIcon":
                i32(len(v))
            out += v
        elif ctype == "DateTime":
            for word in v:
                i32(word)
        else:
            fmt = _VALUES[ctype].upper()
            out += struct.pack(fmt, v & ((1 << (8 * struct.calcsize(fmt))) - 1))
        if name == _SIZES_FOLLOW:
            i32(d["fileCount"])
            for size in d["storedSizes"]:
                i32(size)
    i32(len(d["associations"]))
    for flags, texts in d["associations"]:
        i32(flags)
        for t in texts:
            text(t)
    out.append(d["languageCount"] & 0xFF)
    i32(d["messageCount"])
    for t in d["languageNames"]:
        text(t)
    for message in d["messages"]:
        for t in message:
            text(t)
    i32(d["endMarker"])
    return bytes(out)


class Section:
    def __init__(self, data, entry):
        self.entry = entry
        self.name = data[entry:entry + 8].rstrip(b"\0")
        (self.vsize, self.va, self.raw_size, self.raw_offset) = struct.unpack_from(
            "<4I", data, entry + 8)


class Pe:
    """The few PE header fields the archive depends on."""

    def __init__(self, data):
        self.pe = struct.unpack_from("<H", data, 0x3C)[0]
        self.count = struct.unpack_from("<H", data, self.pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, self.pe + 0x14)[0]
        self.table = self.pe + 0x18 + optional_size
        self.section_alignment, self.file_alignment = struct.unpack_from(
            "<2I", data, self.pe + 0x18 + 0x20)
        self.sections = [Section(data, self.table + SECTION_ENTRY_SIZE * i) for i in range(self.count)]

    def archive(self):
        for i, s in enumerate(self.sections):
            if s.name == SECTION_NAME:
                return i, s
        return -1, None


class Installer:
    """An installer taken apart: the stub part, header words, description
    and the file data held in the section."""

    def __init__(self, data):
        self.data = bytes(data)
        pe = Pe(self.data)
        self.index, s = pe.archive()
        self.section = s
        archive = self.data[s.raw_offset:s.raw_offset + s.raw_size]
        (self.magic, self.version, self.description_size, self.key, self.stub_checksum,
         self.section_data_size) = struct.unpack_from("<IiiIIi", archive, 0)
        packed = scramble(archive[HEADER_SIZE:HEADER_SIZE + self.description_size], self.key)
        self.description = read_description(unpack(packed))
        start = HEADER_SIZE + self.description_size
        self.file_data = archive[start:self.section_data_size]

    @staticmethod
    def load(path):
        with open(path, "rb") as f:
            return Installer(f.read())

    def build(self, description=None, file_data=None, header=None, packed=None,
              keep_stub_checksum=False):
        """The installer again, with any part replaced. header: a dict of
        header words to force (magic, version, description_size, key,
        stub_checksum, section_data_size)."""
        description = self.description if description is None else description
        file_data = self.file_data if file_data is None else file_data
        plain = write_description(description)
        key = checksum(plain)
        packed = scramble(pack(plain), key) if packed is None else packed
        words = dict(magic=ARCHIVE_MAGIC, version=ARCHIVE_VERSION,
                     description_size=len(packed), key=key, stub_checksum=0,
                     section_data_size=HEADER_SIZE + len(packed) + len(file_data))
        words.update(header or {})
        body = packed + file_data
        out = bytearray(self.data[:self.section.raw_offset])
        pe = Pe(out)
        s = pe.sections[self.index]
        align = lambda n, a: (n + a - 1) // a * a
        raw_size = align(HEADER_SIZE + len(body), pe.file_alignment)
        struct.pack_into("<4I", out, s.entry + 8, raw_size, s.va, raw_size, s.raw_offset)
        size_of_image = align(s.va + raw_size, pe.section_alignment)
        struct.pack_into("<I", out, pe.pe + 0x50, size_of_image)
        initialised = struct.unpack_from("<I", out, pe.pe + 0x20)[0]
        struct.pack_into("<I", out, pe.pe + 0x20, initialised - s.raw_size + raw_size)
        if not ("stub_checksum" in (header or {}) or keep_stub_checksum):
            words["stub_checksum"] = checksum(bytes(out))
        archive = struct.pack("<IiiIIi", words["magic"], words["version"],
                              words["description_size"], words["key"],
                              words["stub_checksum"], words["section_data_size"]) + body
        out += archive + b"\0" * (raw_size - len(archive))
        return bytes(out)


def certificate_entry(data):
    """The file offset of the certificate-table entry of the data
    directories, and the signature's offset and size that it holds; None
    when the headers have no such entry."""
    pe = struct.unpack_from("<H", data, 0x3C)[0]
    optional = pe + 0x18
    optional_size = struct.unpack_from("<H", data, pe + 0x14)[0]
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = {0x10B: 96, 0x20B: 112}.get(magic)
    if directories is None:
        return None
    entry = optional + directories + 4 * 8
    count = struct.unpack_from("<I", data, optional + directories - 4)[0]
    if optional_size < directories + 5 * 8 or count < 5:
        return None
    offset, size = struct.unpack_from("<2I", data, entry)
    return entry, offset, size


def uninstaller_image(data, icon_offset=0, icon=b""):
    """The installer without its archive section, computed from the bytes
    alone: the count and two size words lowered, later entries moved up with
    their file offsets lowered, the bytes after the section kept up to a
    signature (which stays behind, its entry and the PE CheckSum cleared),
    the icon patched in."""
    pe = Pe(data)
    index, s = pe.archive()
    z = s.raw_size
    end = len(data)
    cert = certificate_entry(data)
    if cert and s.raw_offset + z <= cert[1] < end:
        end = cert[1]
    image = bytearray(data[:s.raw_offset] + data[s.raw_offset + z:end])
    if cert:
        struct.pack_into("<2I", image, cert[0], 0, 0)
    # The PE CheckSum would not fit the new bytes: cleared as well.
    struct.pack_into("<I", image, pe.pe + 0x18 + 64, 0)
    struct.pack_into("<H", image, pe.pe + 6, pe.count - 1)
    for offset in (pe.pe + 0x20, pe.pe + 0x50):
        v = struct.unpack_from("<I", image, offset)[0]
        struct.pack_into("<I", image, offset, (v - z) & 0xFFFFFFFF)
    table = pe.table
    for slot in range(index, pe.count + 1):
        at = table + SECTION_ENTRY_SIZE * slot
        image[at:at + SECTION_ENTRY_SIZE] = image[at + SECTION_ENTRY_SIZE:at + 2 * SECTION_ENTRY_SIZE]
        if slot <= pe.count - 2:
            v = struct.unpack_from("<I", image, at + 0x14)[0]
            struct.pack_into("<I", image, at + 0x14, (v - z) & 0xFFFFFFFF)
    if icon_offset > 0 and icon_offset + ICON_SIZE <= len(image):
        image[icon_offset:icon_offset + ICON_SIZE] = icon
    return bytes(image)
