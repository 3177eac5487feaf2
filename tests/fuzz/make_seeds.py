#!/usr/bin/python3
"""Seed corpora of the fuzz targets: make_seeds.py <fuzz build folder>, or
make_seeds.py --edge-files <folder> for the hand-made edge files alone.

Into <build>/corpus/<target>/: the samples of mksamples, their compressed copies
(DCMTK and GDCM tools, when installed), the images medconv writes from them, the
edge files, and Debian's pydicom test files when installed. Decoder targets get
each compressed file's first frame behind the layout header DecoderTarget.cpp reads.
"""
import os, shutil, struct, subprocess, sys, tempfile

# Seeds larger than this slow every fuzz run more than they add coverage.
MAX_SEED_BYTES = 512 * 1024
PIPELINE_OPTION_SETS = 11
SYNTAX = "1.2.840.10008.1.2."
DECODER_OF_SYNTAX = {"5": "rle", "4.50": "jpeg_baseline", "4.51": "jpeg_extended12", "4.57": "jpeg_lossless",
                     "4.70": "jpeg_lossless", "4.80": "jpeg_ls", "4.81": "jpeg_ls", "4.90": "jpeg2000",
                     "4.91": "jpeg2000"}
# Compressed copies: (tool, options, name suffix).
COMPRESSORS = [("dcmcrle", [], "rle"), ("dcmcjpeg", ["+eb"], "jpeg-baseline"), ("dcmcjpeg", ["+ee"], "jpeg-extended"),
               ("dcmcjpeg", ["+el"], "jpeg-lossless"), ("dcmcjpeg", [], "jpeg-lossless-sv1"),
               ("dcmcjpls", [], "jpeg-ls"), ("dcmcjpls", ["+en"], "jpeg-ls-near"), ("gdcmconv", ["--j2k"], "j2k")]


def run(arguments):
    try:
        return subprocess.run(arguments, capture_output=True, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def element(group, elem, vr, value):
    """One explicit VR little endian element."""
    if vr in ("OB", "OW", "SQ", "UN", "UT"):
        return struct.pack("<HH2sHI", group, elem, vr.encode(), 0, len(value)) + value
    return struct.pack("<HH2sH", group, elem, vr.encode(), len(value)) + value


def part10(body, syntax=SYNTAX + "1"):
    meta = element(0x0002, 0x0010, "UI", syntax.encode() + b"\0" * (len(syntax) % 2))
    return b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, "UL", struct.pack("<I", len(meta))) + meta + body


def image(rows, columns, bits, pixels, extra=b""):
    us = lambda elem, value: element(0x0028, elem, "US", struct.pack("<H", value))
    return (us(0x0002, 1) + element(0x0028, 0x0004, "CS", b"MONOCHROME2 ") + extra + us(0x0010, rows)
            + us(0x0011, columns) + us(0x0100, bits) + us(0x0101, bits) + us(0x0102, bits - 1) + us(0x0103, 0) + pixels)


def encapsulated(fragments):
    items = b"".join(struct.pack("<HHI", 0xFFFE, 0xE000, len(f)) + f for f in [b""] + fragments)
    return struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OB", 0, 0xFFFFFFFF) + items + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)


def edge_files():
    """Small sets at the limits the readers must refuse or survive."""
    pixels = element(0x7FE0, 0x0010, "OW", bytes(range(32)))
    # One RLE segment that announces 16 pixels and decodes 4.
    short_run = struct.pack("<2I", 1, 64) + b"\0" * 56 + bytes([0xFD, 0x07])
    return {
        "empty": b"",
        "preamble-only": b"\0" * 128 + b"DICM",
        "tiny-image": part10(image(4, 4, 16, pixels)),
        "frames-beyond-data": part10(image(4, 4, 16, pixels, element(0x0028, 0x0008, "IS", b"3000"))),
        "length-beyond-file": part10(struct.pack("<HH2sH", 0x0010, 0x0010, b"PN", 0xFFF0) + b"X"),
        "huge-ob-length": part10(struct.pack("<HH2sHI", 0x0009, 0x0010, b"OB", 0, 0xFFFFFFF0)),
        "undefined-length-sequence": part10(
            struct.pack("<HH2sHIHHI", 0x0008, 0x1140, b"SQ", 0, 0xFFFFFFFF, 0xFFFE, 0xE000, 0xFFFFFFFF)
            + element(0x0008, 0x1150, "UI", b"1.2\0") + struct.pack("<HHIHHI", 0xFFFE, 0xE00D, 0, 0xFFFE, 0xE0DD, 0)),
        "rle-short-segment": part10(image(4, 4, 8, encapsulated([short_run])), SYNTAX + "5"),
        "rle-empty-offsets-multiframe": part10(
            image(4, 4, 8, encapsulated([short_run, short_run]), element(0x0028, 0x0008, "IS", b"8 ")), SYNTAX + "5"),
        "jpeg-no-fragments": part10(image(4, 4, 8, encapsulated([])), SYNTAX + "4.50"),
        "implicit-bare": struct.pack("<HHI", 0x0010, 0x0010, 4) + b"DOE ",
    }


def first_frame(path):
    """(decoder target, the six layout bytes DecoderTarget.cpp reads + the first frame's stream) or None."""
    try:
        import pydicom
        from pydicom import encaps
        dataset = pydicom.dcmread(path)
        target = DECODER_OF_SYNTAX.get(str(dataset.file_meta.TransferSyntaxUID).replace(SYNTAX, "", 1))
        if not target or "PixelData" not in dataset:
            return None
        get = lambda name, default=0: int(dataset.get(name, default))
        colour = {"YBR_FULL": 1, "YBR_FULL_422": 2, "YBR_RCT": 3}.get(str(dataset.get("PhotometricInterpretation")), 0)
        flags = ((get("SamplesPerPixel", 1) == 3) | {8: 0, 16: 1, 32: 2}.get(get("BitsAllocated", 8), 1) << 1
                 | (get("PixelRepresentation") & 1) << 3 | (get("PlanarConfiguration") & 1) << 4 | colour << 5)
        stored = (max(1, get("BitsStored", 8)) - 1) & 0xFF
        layout = struct.pack("<HHBB", int(dataset.Rows), int(dataset.Columns), flags, stored)
        frame = next(encaps.generate_pixel_data_frame(dataset.PixelData, int(dataset.get("NumberOfFrames", 1) or 1)))
        return "decoder_" + target, layout + frame
    except Exception:  # pydicom absent, or a file it cannot read
        return None


def write_edge_files(folder):
    os.makedirs(folder, exist_ok=True)
    for name, data in edge_files().items():
        with open(os.path.join(folder, "edge-" + name + ".dcm"), "wb") as out:
            out.write(data)


def main():
    if sys.argv[1] == "--edge-files":
        return write_edge_files(sys.argv[2])
    build = os.path.abspath(sys.argv[1])
    corpus = os.path.join(build, "corpus")
    shutil.rmtree(corpus, ignore_errors=True)
    seeds = {target: 0 for target in open(os.path.join(build, "fuzz-targets.txt")).read().split()}
    for target in seeds:
        os.makedirs(os.path.join(corpus, target))

    def add(target, name, data):
        if target in seeds and len(data) <= MAX_SEED_BYTES:
            with open(os.path.join(corpus, target, name), "wb") as out:
                out.write(data)
            seeds[target] += 1

    work = tempfile.mkdtemp(prefix="medconv-seeds-")
    try:
        run([os.path.join(build, "tools", "mksamples"), work])
        dicom = sorted(os.path.join(work, n) for n in os.listdir(work) if n.endswith(".dcm"))
        for path in list(dicom):
            for tool, options, suffix in COMPRESSORS:
                copy = "%s.%s.dcm" % (path[:-4], suffix)
                if shutil.which(tool) and run([tool] + options + [path, copy]) and os.path.isfile(copy):
                    dicom.append(copy)
        write_edge_files(work)
        dicom += sorted(os.path.join(work, n) for n in os.listdir(work) if n.startswith("edge-"))
        listing = subprocess.run(["sh", "-c", "dpkg -L python3-pydicom 2>/dev/null"], capture_output=True, text=True)
        dicom += [p for p in listing.stdout.split() if p.endswith(".dcm") and os.path.isfile(p)]
        for rank, path in enumerate(dicom):
            data = open(path, "rb").read()
            name = "%03d-%s" % (rank, os.path.basename(path))
            add("dataset", name, data)
            add("pipeline", name, bytes([rank % PIPELINE_OPTION_SETS]) + data)
            frame = first_frame(path)
            if frame:
                add(frame[0], name, frame[1])
        # Images the program writes are the image readers' seeds.
        for path in dicom[:8]:
            run([os.path.join(build, "medconv"), "-w", "-r0", "--to=" + work, path])
        for name in sorted(os.listdir(work)):
            data = open(os.path.join(work, name), "rb").read()
            if name.endswith(".bmp") or name.endswith(".raw"):
                add("image_readers", name, (b"\0" if name.endswith(".bmp") else b"\x01\x10\x10\x00") + data)
        lines = open(os.path.join(os.path.dirname(__file__), "../../data/dicom.dic"), "rb").read().splitlines(True)
        for start in range(0, len(lines), 400):
            add("dictionary", "dicom-%05d.dic" % start, b"".join(lines[start:start + 400]))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for target in seeds:
        print("%-24s %4d seeds" % (target, seeds[target]))


if __name__ == "__main__":
    main()
