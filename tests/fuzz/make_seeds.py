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

DECODER_OF_SYNTAX = {
    "1.2.840.10008.1.2.5": "decoder_rle", "1.2.840.10008.1.2.4.50": "decoder_jpeg_baseline",
    "1.2.840.10008.1.2.4.51": "decoder_jpeg_extended12", "1.2.840.10008.1.2.4.57": "decoder_jpeg_lossless",
    "1.2.840.10008.1.2.4.70": "decoder_jpeg_lossless", "1.2.840.10008.1.2.4.80": "decoder_jpeg_ls",
    "1.2.840.10008.1.2.4.81": "decoder_jpeg_ls", "1.2.840.10008.1.2.4.90": "decoder_jpeg2000",
    "1.2.840.10008.1.2.4.91": "decoder_jpeg2000"}

# Compressed copies: (tool, options, name suffix).
COMPRESSORS = [("dcmcrle", [], "rle"), ("dcmcjpeg", ["+eb"], "jpeg-baseline"), ("dcmcjpeg", ["+ee"], "jpeg-extended"),
               ("dcmcjpeg", ["+el"], "jpeg-lossless"), ("dcmcjpeg", [], "jpeg-lossless-sv1"),
               ("dcmcjpls", [], "jpeg-ls"), ("dcmcjpls", ["+en"], "jpeg-ls-near"), ("gdcmconv", ["--j2k"], "j2k")]


def run(arguments, folder=None):
    try:
        return subprocess.run(arguments, cwd=folder, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def element(group, elem, vr, value):
    """One explicit VR little endian element."""
    if vr in ("OB", "OW", "SQ", "UN", "UT"):
        return struct.pack("<HH2sHI", group, elem, vr.encode(), 0, len(value)) + value
    return struct.pack("<HH2sH", group, elem, vr.encode(), len(value)) + value


def part10(body, syntax="1.2.840.10008.1.2.1"):
    uid = syntax.encode() + (b"\0" if len(syntax) % 2 else b"")
    meta = element(0x0002, 0x0010, "UI", uid)
    return (b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, "UL", struct.pack("<I", len(meta)))
            + meta + body)


def image(rows, columns, bits, pixels, extra=b""):
    return (element(0x0028, 0x0002, "US", struct.pack("<H", 1))
            + element(0x0028, 0x0004, "CS", b"MONOCHROME2 ") + extra
            + element(0x0028, 0x0010, "US", struct.pack("<H", rows))
            + element(0x0028, 0x0011, "US", struct.pack("<H", columns))
            + element(0x0028, 0x0100, "US", struct.pack("<H", bits))
            + element(0x0028, 0x0101, "US", struct.pack("<H", bits))
            + element(0x0028, 0x0102, "US", struct.pack("<H", bits - 1))
            + element(0x0028, 0x0103, "US", struct.pack("<H", 0)) + pixels)


def encapsulated(fragments, offsets=b""):
    items = struct.pack("<HHI", 0xFFFE, 0xE000, len(offsets)) + offsets
    for fragment in fragments:
        items += struct.pack("<HHI", 0xFFFE, 0xE000, len(fragment)) + fragment
    items += struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
    return struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OB", 0, 0xFFFFFFFF) + items


def rle_frame(segments):
    offsets = [64 + sum(len(s) for s in segments[:n]) for n in range(len(segments))]
    return (struct.pack("<%dI" % (1 + len(segments)), len(segments), *offsets) + b"\0" * 4 * (15 - len(segments))
            + b"".join(segments))


def edge_files():
    """Small sets at the limits the readers must refuse or survive."""
    pixels = element(0x7FE0, 0x0010, "OW", bytes(range(32)))
    rle = "1.2.840.10008.1.2.5"
    short_run = rle_frame([bytes([0xFD, 0x07])])  # 16 pixels announced, 4 decoded
    return {
        "empty": b"",
        "preamble-only": b"\0" * 128 + b"DICM",
        "tiny-image": part10(image(4, 4, 16, pixels)),
        "frames-beyond-data": part10(image(4, 4, 16, pixels,
                                           element(0x0028, 0x0008, "IS", b"3000"))),
        "length-beyond-file": part10(struct.pack("<HH2sH", 0x0010, 0x0010, b"PN", 0xFFF0) + b"X"),
        "huge-ob-length": part10(struct.pack("<HH2sHI", 0x0009, 0x0010, b"OB", 0, 0xFFFFFFF0)),
        "undefined-length-sequence": part10(
            struct.pack("<HH2sHI", 0x0008, 0x1140, b"SQ", 0, 0xFFFFFFFF)
            + struct.pack("<HHI", 0xFFFE, 0xE000, 0xFFFFFFFF)
            + element(0x0008, 0x1150, "UI", b"1.2\0")
            + struct.pack("<HHI", 0xFFFE, 0xE00D, 0) + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)),
        "rle-short-segment": part10(image(4, 4, 8, encapsulated([short_run])), rle),
        "rle-empty-offsets-multiframe": part10(
            image(4, 4, 8, encapsulated([short_run, short_run]),
                  element(0x0028, 0x0008, "IS", b"8 ")), rle),
        "jpeg-no-fragments": part10(image(4, 4, 8, encapsulated([])), "1.2.840.10008.1.2.4.50"),
        "implicit-bare": struct.pack("<HHI", 0x0010, 0x0010, 4) + b"DOE ",
    }


def layout_header(dataset):
    """The six bytes DecoderTarget.cpp turns into the set's layout."""
    colours = {"RGB": 0, "YBR_FULL": 1, "YBR_FULL_422": 2, "YBR_RCT": 3}
    samples = int(dataset.get("SamplesPerPixel", 1))
    allocated = {8: 0, 16: 1, 32: 2}.get(int(dataset.get("BitsAllocated", 8)), 1)
    flags = (1 if samples == 3 else 0) | allocated << 1
    flags |= (int(dataset.get("PixelRepresentation", 0)) & 1) << 3
    flags |= (int(dataset.get("PlanarConfiguration", 0)) & 1) << 4
    flags |= colours.get(str(dataset.get("PhotometricInterpretation", "")), 0) << 5
    stored = max(1, int(dataset.get("BitsStored", 8))) - 1
    return struct.pack("<HHBB", int(dataset.Rows), int(dataset.Columns), flags, stored & 0xFF)


def first_frame(path):
    """(decoder target, layout header + first frame's stream) or None."""
    try:
        import pydicom
        from pydicom import encaps
        dataset = pydicom.dcmread(path)
        target = DECODER_OF_SYNTAX.get(str(dataset.file_meta.TransferSyntaxUID))
        if not target or "PixelData" not in dataset:
            return None
        frames = int(dataset.get("NumberOfFrames", 1) or 1)
        frame = next(encaps.generate_pixel_data_frame(dataset.PixelData, frames))
        return target, layout_header(dataset) + frame
    except Exception:  # pydicom absent, or a file it cannot read
        return None


def pydicom_files():
    listing = subprocess.run(["sh", "-c", "dpkg -L python3-pydicom 2>/dev/null"], capture_output=True, text=True).stdout
    return [p for p in listing.split() if p.endswith(".dcm") and os.path.isfile(p)]


def write_edge_files(folder):
    os.makedirs(folder, exist_ok=True)
    for name, data in edge_files().items():
        with open(os.path.join(folder, "edge-" + name + ".dcm"), "wb") as out:
            out.write(data)


def main():
    if sys.argv[1] == "--edge-files":
        write_edge_files(sys.argv[2])
        return
    build = os.path.abspath(sys.argv[1])
    corpus = os.path.join(build, "corpus")
    shutil.rmtree(corpus, ignore_errors=True)
    targets = open(os.path.join(build, "fuzz-targets.txt")).read().split()
    for target in targets:
        os.makedirs(os.path.join(corpus, target))
    seeds = {target: 0 for target in targets}

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
            base = path[:-4]
            for tool, options, suffix in COMPRESSORS:
                copy = "%s.%s.dcm" % (base, suffix)
                if shutil.which(tool) and run([tool] + options + [path, copy]) and os.path.isfile(copy):
                    dicom.append(copy)
        write_edge_files(work)
        dicom += sorted(os.path.join(work, n) for n in os.listdir(work) if n.startswith("edge-"))
        dicom += pydicom_files()

        for rank, path in enumerate(dicom):
            data = open(path, "rb").read()
            name = "%03d-%s" % (rank, os.path.basename(path))
            add("dataset", name, data)
            add("pipeline", name, bytes([rank % PIPELINE_OPTION_SETS]) + data)
            frame = first_frame(path)
            if frame:
                add(frame[0], name, frame[1])

        # Images the program writes are the image readers' seeds.
        medconv = os.path.join(build, "medconv")
        for path in dicom[:8]:
            run([medconv, "-w", "-r0", "--to=" + work, path])
        for name in sorted(os.listdir(work)):
            data = open(os.path.join(work, name), "rb").read()
            if name.endswith(".bmp"):
                add("image_readers", name, b"\0" + data)
            elif name.endswith(".raw"):
                add("image_readers", name, b"\x01\x10\x10\x00" + data)

        dictionary = open(os.path.join(os.path.dirname(__file__), "..", "..", "data", "dicom.dic"), "rb").read()
        lines = dictionary.splitlines(keepends=True)
        for start in range(0, len(lines), 400):
            add("dictionary", "dicom-%05d.dic" % start, b"".join(lines[start:start + 400]))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for target in targets:
        print("%-24s %4d seeds" % (target, seeds[target]))


if __name__ == "__main__":
    main()
