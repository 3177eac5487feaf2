#!/usr/bin/python3
"""Round trip of DICOM files through medconv's DICOM writer.

Every file is rewritten in explicit VR little endian, implicit VR little
endian and explicit VR big endian, either by medconv (-d=el, -d=il, -d=eb
with --frame=whole, so the pixel data are the source's) or by the set
reader and writer alone (tools' dicomrewrite, which needs no image in the
file). Each output is compared with its source
through pydicom, element by element, items of sequences included. Allowed
differences: the meta group's own elements (the transfer syntax among them)
and group lengths; dates and times in the retired YYYY.MM.DD and HH:MM:SS
forms are written in the current ones; compressed pixel data that medconv
decodes for a native syntax are not compared. Each output is also read by dcmdump, which must not warn
about anything it does not warn about in the source.

Usage: roundtrip.py medconv|dicomrewrite PROGRAM OUTDIR FILE...
Prints one table row per syntax and the differences found; exits 1 when an
output differs from its source or dcmdump complains about it.
"""
import os
import subprocess
import sys

import pydicom
from pydicom.multival import MultiValue

SYNTAXES = ("el", "il", "eb")
# Strings whose leading spaces are not significant.
TRIMMED_VRS = {"AE", "CS", "DS", "IS", "LO", "SH", "UI", "AS", "DA", "TM", "DT"}
WORD_VRS = {"OW": 2, "OF": 4, "OL": 4, "OD": 8, "OV": 8}


def is_group_length(tag):
    return tag.element == 0 or tag == 0x00080001


def normalised(element, little_endian):
    """The value of an element in a form that both encodings spell alike."""
    value = element.value
    if element.VR == "DA" and isinstance(value, str):
        value = value.replace(".", "")
    if element.VR == "TM" and isinstance(value, str):
        value = value.replace(":", "")
    if element.VR in WORD_VRS and isinstance(value, bytes) and not little_endian:
        size = WORD_VRS[element.VR]
        value = b"".join(value[i:i + size][::-1] for i in range(0, len(value), size))
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


def compare(source, output, path, differences, skipped=(), orders=None):
    """Compares two data sets; returns the number of elements compared.
    Items do not know their byte order: orders carries the files' down."""
    orders = orders or (source.is_little_endian, output.is_little_endian, output.is_implicit_VR)
    compared = 0
    source_tags = {t for t in source.keys() if t.group != 2 and not is_group_length(t)}
    output_tags = {t for t in output.keys() if t.group != 2 and not is_group_length(t)}
    for tag in sorted(source_tags - output_tags - set(skipped)):
        differences.append(f"{path}{tag}: lost")
    for tag in sorted(output_tags - source_tags - set(skipped)):
        differences.append(f"{path}{tag}: added")
    for tag in sorted(source_tags & output_tags):
        if tag in skipped:
            continue
        compared += 1
        theirs, ours = source[tag], output[tag]
        if theirs.VR == "SQ" or ours.VR == "SQ":
            if theirs.VR != ours.VR or len(theirs.value) != len(ours.value):
                differences.append(f"{path}{tag}: sequence of {len(theirs.value)} items became "
                                   f"{ours.VR} of {len(ours.value) if ours.VR == 'SQ' else '?'}")
                continue
            for n, (a, b) in enumerate(zip(theirs.value, ours.value)):
                compared += compare(a, b, f"{path}{tag}[{n}].", differences, skipped, orders)
            continue
        a = normalised(theirs, orders[0])
        b = normalised(ours, orders[1])
        if ours.VR != theirs.VR and orders[2] and tag.is_private:
            continue  # implicit VR cannot carry the VR of a private element the dictionary lacks
        if a != b:
            differences.append(f"{path}{tag} {theirs.VR}->{ours.VR}: {str(a)[:60]!r} became {str(b)[:60]!r}")
    return compared


def dcmdump_warnings(path):
    run = subprocess.run(["dcmdump", "-M", path], capture_output=True, text=True,
                         errors="replace")
    lines = [line for line in run.stderr.splitlines() if line.startswith(("W:", "E:"))]
    return {line.replace(path, "FILE") for line in lines}, run.returncode


def rewrite(mode, program, syntax, path, folder):
    """Rewrites path into folder; gives (read, output path)."""
    if mode == "medconv":
        output_path = os.path.join(folder, os.path.basename(path) + ".dcm")
        command = [program, f"-d={syntax}", "--frame=whole", f"--to={folder}", path]
    else:
        output_path = os.path.join(folder, os.path.basename(path))
        command = [program, syntax, path, output_path]
    if os.path.exists(output_path):
        os.remove(output_path)
    run = subprocess.run(command, capture_output=True, text=True, errors="replace")
    if mode == "medconv":
        read = "while reading set" not in run.stderr
    else:
        read = run.returncode != 3
    return read, output_path


# What decoding compressed pixel data rightly changes: the pixels, the colour
# model they were converted to, their planes, and the mark of a lossy source.
DECODED_ELEMENTS = {pydicom.tag.Tag(0x7FE0, 0x0010), pydicom.tag.Tag(0x0028, 0x0004),
                    pydicom.tag.Tag(0x0028, 0x0006), pydicom.tag.Tag(0x0028, 0x2110)}


def unknown_value_tags(path):
    """The top-level elements a file stores as UN: their bytes are kept as
    they are, so a big endian copy cannot swap what they hold."""
    saved = pydicom.config.replace_un_with_known_vr
    pydicom.config.replace_un_with_known_vr = False
    try:
        return {t for t, e in pydicom.dcmread(path, force=True).items() if e.VR == "UN"}
    finally:
        pydicom.config.replace_un_with_known_vr = saved


def is_compressed(dataset):
    syntax = getattr(getattr(dataset, "file_meta", None), "TransferSyntaxUID", None)
    return syntax is not None and syntax.is_compressed


def main():
    mode, program, outdir, files = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    rows = {s: dict(read=0, written=0, identical=0, elements=0, clean=0) for s in SYNTAXES}
    failures = []
    for path in files:
        try:
            source = pydicom.dcmread(path, force=True)
            list(source.keys())
        except Exception as error:  # a file pydicom itself cannot read is no reference
            print(f"skipped (pydicom: {error}): {os.path.basename(path)}")
            continue
        source_warnings, _ = dcmdump_warnings(path)
        for syntax in SYNTAXES:
            folder = os.path.join(outdir, syntax)
            os.makedirs(folder, exist_ok=True)
            read, output_path = rewrite(mode, program, syntax, path, folder)
            if not read:
                continue
            rows[syntax]["read"] += 1
            if not os.path.exists(output_path):
                continue
            rows[syntax]["written"] += 1
            differences = []
            try:
                output = pydicom.dcmread(output_path, force=True)
                decoded = is_compressed(source) and not is_compressed(output)
                skipped = set(DECODED_ELEMENTS) if decoded else set()
                if syntax == "eb":
                    skipped |= unknown_value_tags(path)
                rows[syntax]["elements"] += compare(source, output, "", differences, skipped)
            except Exception as error:
                differences.append(f"unreadable by pydicom: {error}")
            if not differences:
                rows[syntax]["identical"] += 1
            else:
                failures.append((syntax, os.path.basename(path), differences))
            warnings, status = dcmdump_warnings(output_path)
            new_warnings = warnings - source_warnings
            if status == 0 and not new_warnings:
                rows[syntax]["clean"] += 1
            else:
                failures.append((syntax, os.path.basename(path), [f"dcmdump: {w}" for w in sorted(new_warnings)]
                                 or [f"dcmdump status {status}"]))
    print(f"files given: {len(files)}")
    print("syntax  read  written  identical  dcmdump-clean  elements-compared")
    for syntax, row in rows.items():
        print(f"-d={syntax}  {row['read']:4}  {row['written']:7}  {row['identical']:9}  {row['clean']:13}  "
              f"{row['elements']:17}")
    for syntax, name, differences in failures:
        print(f"-d={syntax} {name}:")
        for line in differences[:8]:
            print(f"    {line}")
        if len(differences) > 8:
            print(f"    ... {len(differences) - 8} more")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
