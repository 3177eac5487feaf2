#!/usr/bin/python3
"""Round trip of DICOM files through medconv's set writer or its DICOM output.

Usage: roundtrip.py SOURCES OUTDIR...
Each file of each OUTDIR is a rewrite of the file of the same name in SOURCES
(a ".dcm" that medconv appends is dropped). It is compared with its source
through pydicom, element by element, items of sequences included, and read
by dcmdump, which must report nothing about it that it does not report about
the source. Allowed differences: the meta group's own elements (the transfer
syntax among them) and group lengths; dates and times in the retired
YYYY.MM.DD and HH:MM:SS forms are written in the current ones; compressed
pixel data that medconv decodes for a native syntax are not compared; a big
endian copy keeps the bytes of UN values as they are.
Prints one table row per folder and the differences found; exits 1 when an
output differs from its source or dcmdump complains about it.
"""
import array
import os
import subprocess
import sys

import pydicom
from pydicom.multival import MultiValue

pydicom.config.settings.reading_validation_mode = pydicom.config.IGNORE

# Strings whose leading spaces are not significant.
TRIMMED_VRS = {"AE", "CS", "DS", "IS", "LO", "SH", "UI", "AS", "DA", "TM", "DT"}
WORDS = {"OW": "H", "OF": "I", "OL": "I", "OD": "Q", "OV": "Q"}  # the array type of their words
# What decoding compressed pixel data rightly changes: the pixels, the colour
# model they were converted to, their planes, and the mark of a lossy source.
DECODED_ELEMENTS = {pydicom.tag.Tag(0x7FE0, 0x0010), pydicom.tag.Tag(0x0028, 0x0004),
                    pydicom.tag.Tag(0x0028, 0x0006), pydicom.tag.Tag(0x0028, 0x2110)}


def is_group_length(tag):
    return tag.element == 0 or tag == 0x00080001


def normalised(element, little_endian, units=None):
    """The value of an element in a form that both encodings spell alike;
    units overrides the array type of its words."""
    value = element.value
    if element.VR in ("DA", "TM") and isinstance(value, str):
        value = value.replace(".", "") if element.VR == "DA" else value.replace(":", "")
    if element.VR in WORDS and isinstance(value, bytes) and not little_endian:
        words = array.array(units or WORDS[element.VR])
        words.frombytes(value[:len(value) - len(value) % words.itemsize])
        words.byteswap()
        value = words.tobytes() + value[len(words) * words.itemsize:]
    if isinstance(value, bytes) and len(value) % 2:
        value += b"\0"  # odd byte values come back padded
    if isinstance(value, (MultiValue, list, tuple)):
        return [normalised_text(v, element.VR) for v in value]
    if value is None or value == "" or value == b"":
        return None  # empty, however spelled
    return normalised_text(value, element.VR)


def normalised_text(value, vr):
    if isinstance(value, str):
        return value.strip(" \0") if vr in TRIMMED_VRS else value.rstrip(" \0")
    if isinstance(value, pydicom.valuerep.PersonName):
        return str(value).rstrip(" \0")
    return value


def compare(source, output, path, differences, skipped, orders):
    """Compares two data sets; returns the number of elements compared.
    Items do not know their byte order: orders carries the files' down."""
    compared = 0
    source_tags = {t for t in source.keys() if t.group != 2 and not is_group_length(t)} - skipped
    output_tags = {t for t in output.keys() if t.group != 2 and not is_group_length(t)} - skipped
    differences += [f"{path}{tag}: lost" for tag in sorted(source_tags - output_tags)]
    differences += [f"{path}{tag}: added" for tag in sorted(output_tags - source_tags)]
    for tag in sorted(source_tags & output_tags):
        compared += 1
        theirs, ours = source[tag], output[tag]
        if theirs.VR == "SQ" or ours.VR == "SQ":
            if theirs.VR != ours.VR or len(theirs.value) != len(ours.value):
                differences.append(f"{path}{tag}: sequence of {len(theirs.value)} items became {ours.VR}")
                continue
            for n, (a, b) in enumerate(zip(theirs.value, ours.value)):
                compared += compare(a, b, f"{path}{tag}[{n}].", differences, skipped, orders)
            continue
        if ours.VR != theirs.VR and orders[2] and tag.is_private:
            continue  # implicit VR cannot carry the VR of a private element the dictionary lacks
        # 32-bit samples are 32-bit numbers in either byte order, whatever their VR.
        units = "I" if tag == 0x7FE00010 and source.get("BitsAllocated") == 32 else None
        a, b = normalised(theirs, orders[0], units), normalised(ours, orders[1], units)
        if a != b:
            differences.append(f"{path}{tag} {theirs.VR}->{ours.VR}: {str(a)[:60]!r} became {str(b)[:60]!r}")
    return compared


def dcmdump_reports(paths):
    """dcmdump's warnings and errors about each file, read in one run."""
    run = subprocess.run(["stdbuf", "-oL", "dcmdump", "-M", "+F"] + paths, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace")
    reports, current = {}, None
    for line in run.stdout.splitlines():
        if line.startswith("# dcmdump ("):
            current = reports.setdefault(line.split("): ", 1)[1], set())
        elif line.startswith(("W:", "E:")) and current is not None:
            current.add(line)
    return {path: {line.replace(path, "FILE") for line in lines} for path, lines in reports.items()}


def is_compressed(dataset):
    syntax = getattr(getattr(dataset, "file_meta", None), "TransferSyntaxUID", None)
    return syntax is not None and syntax.is_compressed


def main():
    sources_folder, folders = sys.argv[1], sys.argv[2:]
    pairs = []
    for folder in folders:
        for name in sorted(os.listdir(folder)):
            source = os.path.join(sources_folder, name)
            pairs.append((folder, source if os.path.exists(source) else source[:-4], os.path.join(folder, name)))
    reports = dcmdump_reports(sorted({source for _, source, _ in pairs}) + [output for _, _, output in pairs])
    sources, unknown, failures = {}, {}, []
    print("files  identical  dcmdump-clean  elements-compared  folder")
    for folder in folders:
        row = dict(files=0, identical=0, clean=0, elements=0)
        for _, source_path, output_path in (p for p in pairs if p[0] == folder):
            if source_path not in sources:
                try:
                    sources[source_path] = pydicom.dcmread(source_path, force=True)
                    list(sources[source_path].keys())
                    pydicom.config.replace_un_with_known_vr = False
                    unknown[source_path] = {t for t, e in pydicom.dcmread(source_path, force=True).items()
                                            if e.VR == "UN"}
                except Exception as error:  # a file pydicom itself cannot read is no reference
                    sources[source_path] = None
                    print(f"skipped (pydicom: {error}): {os.path.basename(source_path)}")
                finally:
                    pydicom.config.replace_un_with_known_vr = True
            source = sources[source_path]
            if source is None:
                continue
            row["files"] += 1
            differences = []
            try:
                output = pydicom.dcmread(output_path, force=True)
                skipped = set(DECODED_ELEMENTS) if is_compressed(source) and not is_compressed(output) else set()
                if not output.is_little_endian:
                    skipped |= unknown[source_path]
                orders = (source.is_little_endian, output.is_little_endian, output.is_implicit_VR)
                row["elements"] += compare(source, output, "", differences, skipped, orders)
            except Exception as error:
                differences.append(f"unreadable by pydicom: {error}")
            row["identical"] += not differences
            new_reports = reports.get(output_path, {"no listing"}) - reports.get(source_path, set())
            row["clean"] += not new_reports
            differences += [f"dcmdump: {line}" for line in sorted(new_reports)]
            if differences:
                failures.append((output_path, differences))
        print(f"{row['files']:5}  {row['identical']:9}  {row['clean']:13}  {row['elements']:17}  {folder}")
    for path, differences in failures:
        print(f"{path}:")
        print("".join(f"    {line}\n" for line in differences[:8]), end="")
        if len(differences) > 8:
            print(f"    ... {len(differences) - 8} more")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
