#!/usr/bin/env python3
"""Generates the small sample kit (unless the folder already holds one) and writes, beside it, what the build tests compare
against, worked out here from the generated files and the manifest alone (independently of
the program's own import code):

  expect_tables.tsv    table, row count
  expect_products.tsv  bango, tsusho, koka ("\\N" for none), torokubi, slots joined by "|",
                       the common name built from the makers' files
  expect_cells.tsv     bango, column, expected value ("\\N" for NULL), source file
  grid_<name>.tsv      the cells of a sheet as the workbook reader hands them over

All outputs are UTF-8; tabs, CR and LF inside values are written as \\t, \\r and \\n.
"""
import csv
import io
import json
import os
import subprocess
import sys
import zipfile


def esc(v):
    if v is None:
        return "\\N"
    return str(v).replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def write_rows(path, rows):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for r in rows:
            f.write("\t".join(esc(v) for v in r) + "\n")


def read_zip_csv(path, quote='"'):
    with zipfile.ZipFile(path) as z:
        name = z.namelist()[0]
        text = z.read(name).decode("cp932")
    return list(csv.reader(io.StringIO(text, newline=""), quotechar=quote))


def main():
    out = sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    kit = os.path.join(here, "..", "..", "scripts", "samplekit", "make.py")
    if not os.path.exists(os.path.join(out, "manifest.json")):
        subprocess.run([sys.executable, kit, "--size", "small", "--out", out], check=True,
                       stdout=subprocess.DEVNULL)
    m = json.load(open(os.path.join(out, "manifest.json"), encoding="utf-8"))
    t = m["tables"]
    write_rows(os.path.join(out, "expect_tables.tsv"),
               [(k, t[k]) for k in ("m_kihon", "seibun", "m_tekiyo")])
    # The makers' files keep a few texts the publisher's imports fold (the typographic
    # apostrophe stays): for those products the manifest names the makers' common name apart.
    write_rows(os.path.join(out, "expect_products.tsv"),
               [(p["bango"], p["tsusho"], p["koka"], p["torokubi"], "|".join(p["slots"]),
                 p.get("makers_tsusho", p["tsusho"]))
                for p in m["products"]])
    write_rows(os.path.join(out, "expect_cells.tsv"),
               [(h["bango"], h["column"], h["expected"], h["file"])
                for h in m["hard_cases"] if "column" in h])
    # The sheets: the product sheet grid as written by the kit, and the application parts'
    # cells as a workbook sheet holds them (the first part, which has no extra column).
    with open(os.path.join(out, "sheets", "kihon_sheet.csv"), encoding="cp932", newline="") as f:
        write_rows(os.path.join(out, "grid_kihon.tsv"), list(csv.reader(f)))
    pub = m["publisher_csv"]
    write_rows(os.path.join(out, "grid_tekiyo1.tsv"),
               read_zip_csv(os.path.join(out, pub["tekiyo1"]["archive"])))


if __name__ == "__main__":
    main()
