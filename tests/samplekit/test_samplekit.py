"""Checks the sample-data kit: same seed, same bytes; every file written in its documented
form; and the manifest's expectations agree with what the files themselves hold."""
import csv
import io
import json
import os
import sqlite3
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
MAKE = os.path.join(HERE, "..", "..", "scripts", "samplekit", "make.py")


def make(out, seed=None, size="small"):
    args = [sys.executable, MAKE, "--size", size, "--out", out]
    if seed is not None:
        args += ["--seed", str(seed)]
    subprocess.run(args, check=True)
    with open(os.path.join(out, "manifest.json"), encoding="utf-8") as f:
        return json.load(f)


def zip_entry(path, name):
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if info.filename.encode("cp437") == name.encode("cp932"):
                return z.read(info)
    raise AssertionError("no entry %s in %s" % (name, path))


def rows(data, quote):
    text = data.decode("cp932")
    return list(csv.reader(io.StringIO(text, newline=""), quotechar=quote))


class SampleKitTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.out = os.path.join(cls.tmp.name, "a")
        cls.man = make(cls.out)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, rel):
        return os.path.join(self.out, rel)

    def test_same_seed_same_bytes_other_seed_other_data(self):
        again = os.path.join(self.tmp.name, "b")
        make(again)
        for rel in list(self.man["files"]) + ["manifest.json"]:
            with open(self.path(rel), "rb") as f1, open(os.path.join(again, rel), "rb") as f2:
                self.assertEqual(f1.read(), f2.read(), rel)
        other = make(os.path.join(self.tmp.name, "c"), seed=7)
        self.assertNotEqual([p["meisho"] for p in other["products"]],
                            [p["meisho"] for p in self.man["products"]])

    def test_every_file_written_as_listed(self):
        on_disk = set()
        for root, _, names in os.walk(self.out):
            for n in names:
                on_disk.add(os.path.relpath(os.path.join(root, n), self.out))
        self.assertEqual(on_disk, set(self.man["files"]) | {"manifest.json"})
        for rel, info in self.man["files"].items():
            self.assertEqual(os.path.getsize(self.path(rel)), info["bytes"], rel)
        names = sorted(self.man["reference_scripts"])
        self.assertEqual(names, sorted(self.man["reference_script_order"]))
        self.assertEqual(len(names), 19)

    def test_zip_entries_carry_cp932_names(self):
        for rel, info in self.man["files"].items():
            if info["encoding"] != "zip":
                continue
            with zipfile.ZipFile(self.path(rel)) as z:
                raw = [(i.filename.encode("cp437") if i.flag_bits & 0x800 == 0 else None) for i in z.infolist()]
            self.assertEqual(raw, [bytes.fromhex(e["name_cp932_hex"]) for e in info["entries"]], rel)
            self.assertEqual([e["name"].encode("cp932") for e in info["entries"]], raw)
        pub = self.man["publisher_csv"]["kihon"]
        self.assertIn("登録基本部", pub["entry"])

    def test_text_files_are_cp932_with_crlf(self):
        for rel, info in self.man["files"].items():
            if info["encoding"] == "zip":
                with zipfile.ZipFile(self.path(rel)) as z:
                    blobs = [(rel + ":" + n, z.read(n)) for n in z.namelist()]
            elif rel.endswith(".htm"):
                with open(self.path(rel), "rb") as f:
                    data = f.read()
                self.assertTrue(data.startswith(b"\xef\xbb\xbf"))
                data.decode("utf-8")
                continue
            else:
                with open(self.path(rel), "rb") as f:
                    blobs = [(rel, f.read())]
            for name, data in blobs:
                data.decode("utf-8" if name.endswith("utf8.txt") else "cp932")  # strict
                self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), name)
                self.assertEqual(data.count(b"\r"), data.count(b"\r\n"), name)
                self.assertTrue(data.endswith(b"\r\n"), name)

    def test_publisher_csv_matches_manifest(self):
        m = self.man["publisher_csv"]
        k = rows(zip_entry(self.path(m["kihon"]["archive"]), m["kihon"]["entry"]), '"')
        self.assertEqual(len(k) - 1, m["kihon"]["records"])
        self.assertEqual(len(k) - 1, self.man["tables"]["kihon"])
        self.assertTrue(all(len(r) == 11 for r in k))
        self.assertEqual({int(r[0]) for r in k[1:]}, {p["bango"] for p in self.man["products"]})
        total = 0
        for key in ("tekiyo1", "tekiyo2"):
            data = zip_entry(self.path(m[key]["archive"]), m[key]["entry"])
            t = rows(data, '"')
            self.assertEqual(len(t) - 1, m[key]["records"])
            self.assertEqual(data.count(b"\r\n"), m[key]["lines"])
            width = 26 if m[key]["access_no_column"] else 25
            self.assertEqual(len(t[0]), width)
            if m[key]["access_no_column"]:
                self.assertEqual(t[0][19], "アクセスＮＯ")
            short = [c["record"] for c in self.man["hard_cases"]
                     if c.get("file") == key and c["case"] == "short_line"]
            for i, r in enumerate(t[1:]):
                self.assertEqual(len(r), 22 if i in short else width, (key, i))
            total += len(t) - 1
        self.assertEqual(total, self.man["tables"]["m_tekiyo"])
        two = [c for c in self.man["hard_cases"] if c["case"] == "quoted_field_over_two_lines"]
        self.assertEqual(len(two), 1)
        self.assertEqual(m["tekiyo1"]["lines"], m["tekiyo1"]["records"] + 2)

    def test_makers_csv_matches_manifest(self):
        m = self.man["makers_csv"]
        k = rows(zip_entry(self.path(m["archive"]), "kihon.csv"), "'")
        t = rows(zip_entry(self.path(m["archive"]), "tekiyo.csv"), "'")
        self.assertEqual(len(k) - 1, m["kihon"]["records"])
        self.assertEqual(len(t) - 1, self.man["tables"]["m_tekiyo"])
        self.assertTrue(all(len(r) == 25 for r in t))
        self.assertIn("NULL", {v for r in t[1:] for v in r})
        with open(self.path("makers/update.txt"), "rb") as f:
            first = f.read().decode("cp932").split("\r\n")[0]
        self.assertIn("サンプルデータ", first)
        self.assertIn("分を反映した農薬登録情報です", first)
        with open(self.path("publisher/update2.htm"), encoding="utf-8-sig") as f:
            page = f.read()
        line = [x for x in page.split("\n") if "反映分" in x and "<!--" not in x]
        self.assertEqual(len(line), 1)
        self.assertIn("サンプルデータ", line[0])
        for key in ("kihon", "tekiyo1", "tekiyo2"):
            name = os.path.basename(self.man["publisher_csv"][key]["archive"])
            self.assertIn('datacsv/%s" target ="_blank">' % name, page)

    def test_sheet_grid_repeats_its_header(self):
        g = self.man["sheet_grid"]
        with open(self.path(g["file"]), "rb") as f:
            r = rows(f.read(), '"')
        self.assertEqual(len(r), g["rows"])
        self.assertEqual([i for i, x in enumerate(r) if "登録番号" in x[0]], g["header_rows"])
        self.assertEqual(len(r) - len(g["header_rows"]), self.man["tables"]["kihon"])

    def reference_db(self):
        db = sqlite3.connect(":memory:")
        db.execute("ATTACH ':memory:' AS spec")
        for name in self.man["reference_script_order"]:
            enc = self.man["reference_scripts"][name]["encoding"]
            with open(self.path("scripts/" + name), "rb") as f:
                db.executescript(f.read().decode(enc))
        return db

    def test_reference_scripts_build_consistent_masters(self):
        db = self.reference_db()
        for name, info in self.man["reference_scripts"].items():
            for table, n in info["tables"].items():
                self.assertEqual(db.execute("SELECT count(*) FROM %s" % table).fetchone()[0], n, table)
                self.assertEqual(self.man["tables"][table], n, table)
        for v in ("vg_sakumotsu2", "vs_sakumotsu2", "vg_sakumotsu", "rac", "rac2", "raccode"):
            db.execute("SELECT * FROM %s" % v).fetchall()

        crops = db.execute("SELECT idsaku, class, sakumotsu, toroku FROM m_sakumotsu").fetchall()
        self.assertEqual({c[1] for c in crops}, set(range(6)))
        self.assertTrue({0, 1, 3} <= {c[3] for c in crops})
        codes = {c[0] for c in crops}
        keep = [2, 4, 6, 8, 12, 16]
        for code, cls, name, _ in crops:
            self.assertEqual(len(code), 16)
            self.assertEqual(code[keep[cls]:], "0" * (16 - keep[cls]), name)
            self.assertNotEqual(code[keep[cls] - 2:keep[cls]], "00", name)
            for d in range(cls):
                self.assertIn(code[:keep[d]].ljust(16, "0"), codes, name)
        self.assertEqual(len({c[2] for c in crops}), len(crops))
        self.assertEqual(db.execute("SELECT count(*) FROM vs_sakumotsu2 WHERE idsaku LIKE '9%'").fetchone()[0],
                         self.man["crops"]["extra_9"])

        m = self.man["makers_csv"]
        t = rows(zip_entry(self.path(m["archive"]), "tekiyo.csv"), "'")[1:]
        registered = {r[0] for r in db.execute("SELECT sakumotsu FROM m_sakumotsu WHERE toroku = 1")}
        pests = {r[0] for r in db.execute("SELECT byochu FROM m_byochu")}
        self.assertEqual(len(pests), self.man["tables"]["m_byochu"])
        for r in t:
            self.assertIn(r[5], registered)
            for v in (r[7], r[8]):
                if v != "NULL":
                    self.assertIn(v, pests)

    def test_effects_follow_from_the_classification_script(self):
        db = self.reference_db()
        bits = dict(db.execute("SELECT seibun, kokaid FROM bunrui"))
        names = dict(db.execute("SELECT kokaid, koka FROM koka"))
        masks = [3] + [1 << n for n in range(2, 16)]
        tsusho = {r[0] for r in db.execute("SELECT tsusho FROM tsushoruby")}
        seen = set()
        for p in self.man["products"]:
            idkoka = 0
            for s in p["slots"]:
                if s:
                    self.assertIn(s, bits, p["meisho"])
                    idkoka |= bits[s]
            parts = [names[idkoka & m] for m in masks if idkoka & m]
            if idkoka == 0 and p["shurui"].endswith("展着剤"):
                parts = ["展着"]
            self.assertEqual(p["koka"], "・".join(parts) if parts else None, p["meisho"])
            self.assertIn(p["tsusho"], tsusho)
            self.assertTrue(1 <= p["kongo"] <= 5)
            seen.add(p["koka"])
        self.assertIn("展着", seen)
        cases = {c["case"] for c in self.man["hard_cases"]}
        for c in ("lime_sulphur_type", "whole_egg_type", "spreader_without_effect_bits", "trail_bytes",
                  "halfwidth_kana", "typographic_quote", "short_line", "quoted_field_over_two_lines"):
            self.assertIn(c, cases)

    def test_jpp_files(self):
        j = self.man["jpp"]
        with open(self.path(j["seizai"]["file"]), "rb") as f:
            sz = rows(f.read(), '"')
        with open(self.path(j["seibun"]["file"]), "rb") as f:
            sb = rows(f.read(), '"')
        self.assertTrue(sz[0][0] == "#登録番号" and len(sz[0]) == 27)
        self.assertTrue(all(len(r) == 27 for r in sz))
        self.assertEqual(len(sz) - 1, j["seizai"]["records"])
        heads = [i for i, r in enumerate(sb) if r[0] == "#登録番号"]
        self.assertEqual(heads, [0, j["seibun"]["repeated_header_line"]])
        self.assertTrue(all(len(r) == 20 for r in sb))
        self.assertEqual(len(sb) - 2, j["seibun"]["records"])
        self.assertTrue(any("'" in r[8] for r in sb))


if __name__ == "__main__":
    unittest.main()
