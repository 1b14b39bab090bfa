#!/usr/bin/env python3
"""Sample-data kit: writes synthetic registration data in the published forms.

    python3 scripts/samplekit/make.py --size small|full --out DIR [--seed N]

Everything is made from the seed alone, so two runs with the same arguments write the
same bytes. See README.md beside this file for the files and the manifest.
"""
import argparse
import datetime
import hashlib
import json
import os
import random
import re
import sys
import unicodedata
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kitdata as K  # noqa: E402

SIZES = {
    # families of products sharing one common name, products, application rows
    "small": {"products": 48, "applications": 420},
    "full": {"products": 4500, "applications": 300000},
}
DATA_AS_OF_ERA = "令和8年11月30日"
DATA_AS_OF_ISO = "2026年11月30日"
CRLF = "\r\n"
ZIP_TIME = (2026, 11, 30, 9, 0, 0)

KIHON_HEADER = ["登録番号", "農薬の種類", "農薬の名称", "登録を有する者の名称", "有効成分",
                "総使用回数における有効成分", "濃度", "混合数", "用途", "剤型名", "登録年月日"]
TEKIYO_HEADER = ["登録番号", "農薬の種類", "農薬の名称", "登録を有する者の名称", "用途", "作物名",
                 "適用場所", "適用病害虫雑草名", "使用目的", "希釈倍数使用量", "散布液量", "使用時期",
                 "本剤の使用回数", "使用方法", "くん蒸時間", "くん蒸温度", "適用土壌", "適用地帯名",
                 "適用農薬名", "混合数"] + ["有効成分%s を含む農薬の総使用回数" % c for c in "①②③④⑤"]
ACCESS_NO = "アクセスＮＯ"
# m_tekiyo columns in the order of items 5 to 18 and 20 to 24 of an application line.
TEKIYO_COLUMNS = ["sakumotsu", "basho", "byochu", "mokuteki", "baisu", "ekiryo", "jiki", "kaisu",
                  "hoho", "jikan", "ondo", "dojo", "chitai", "tekiyaku",
                  "kaisu1", "kaisu2", "kaisu3", "kaisu4", "kaisu5"]
JPP_SEIZAI_HEADER = ("#登録番号,混合数,登録種類名,商品名,登録会社名コード,登録会社名,登録会社連絡先,農薬用途コード,用途,"
                     "物理化学的性状,初登録年月日,登録有効期限,失効,失効日,剤型コード,剤型名,人畜毒性(製剤としての),"
                     "登録(更新)日,JPP農薬種類コード,JPP農薬種類名,失効理由,屋号抜き商品名,有機JASでの使用（注釈）※"
                     "「使用できる」とは別表2に掲載されている農薬をいう,水産動植物への影響に係る使用上の注意事項,"
                     "作用機構分類コード(IRAC),作用機構分類コード(FRAC),作用機構分類コード(HRAC)")
JPP_SEIBUN_HEADER = ("#登録番号,有効成分コード,登録種類名,出力順,含有量,含有量(注釈),有効成分,有効成分種類,化学名,"
                     "有効成分用途,人畜毒性(成分としての),毒劇除外1,毒劇除外2,失効日,系統コード,系統名,"
                     "JPP農薬種類コード,JPP農薬種類名,作用機構分類コード,作用機構分類名")


_ASCII_FROM_FULL = {ord(c): ord(c) - 0xFEE0 for c in
                    "，．：；？！＾／｜（）［］｛｝＋－＝＜＞＄％＃＆＊＠"
                    "０１２３４５６７８９ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ"
                    "ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚ"}
_ASCII_FROM_FULL.update({0x3000: " ", 0xFFE5: "\\", 0x3013: "="})
_QUOTES = {0x2018: "'", 0x2019: "'", 0x2032: "'", 0x201C: '"', 0x201D: '"', 0x2033: '"'}
_ASCII_AND_QUOTES = {**_ASCII_FROM_FULL, **_QUOTES}


_HALF_KANA = re.compile("[\uff61-\uff9f]")


def _kana_to_full(s):
    out = []
    run = []
    for c in s + "\0":
        if 0xFF61 <= ord(c) <= 0xFF9F:
            run.append(c)
            continue
        if run:
            full = unicodedata.normalize("NFKC", "".join(run))
            out.append("".join(ch for ch in full if ch not in "\u3099\u309a"))
            run = []
        out.append(c)
    return "".join(out[:-1])


def hankaku_ascii(s, quotes=True):
    """What the registration imports store for a published text: full-width ASCII signs,
    digits and letters (and, with quotes, typographic quotes) to ASCII, half-width katakana
    to full width."""
    s = s.translate(_ASCII_AND_QUOTES if quotes else _ASCII_FROM_FULL)
    return _kana_to_full(s) if _HALF_KANA.search(s) else s


def makers_text(s):
    """The makers' files hold the cleaned texts, typographic quotes kept."""
    return hankaku_ascii(s, quotes=False)


def koka_text(bits, shurui):
    if bits == 0:
        return "展着" if shurui.endswith("展着剤") else None
    names = dict(K.KOKA)
    parts = []
    for m in K.KOKA_MASKS:
        v = bits & m
        if v:
            parts.append(names[v])
    return "・".join(parts)


class Product:
    __slots__ = ("bango", "shurui", "meisho", "tsusho", "ryakusho", "ings", "yoto", "zaikei",
                 "torokubi", "kind", "spray", "bits", "slots")


class Kit:
    def __init__(self, size, seed):
        self.size = size
        self.seed = seed
        self.rnd = random.Random(seed)
        self.ing = {row[0]: row for row in K.INGREDIENTS}
        self.hard = []
        self.products = []
        self.apps = []  # (bango, [19 values in TEKIYO_COLUMNS order])

    # ---- names ------------------------------------------------------------------------
    def brand(self, used):
        r = self.rnd
        while True:
            n = "".join(r.choice(K.SYLLABLES) for _ in range(r.randint(3, 5)))
            if n[0] in "ーンッ" or any(t in n for t in K.STRIP_TEXTS) or n in used:
                continue
            used.add(n)
            return n

    # ---- products ---------------------------------------------------------------------
    def pick_ingredients(self):
        r = self.rnd
        by_kind = {}
        for row in K.INGREDIENTS:
            by_kind.setdefault(row[4], []).append(row[0])
        x = r.random()
        if x < 0.42:
            kinds = ["i"]
        elif x < 0.70:
            kinds = ["f"]
        elif x < 0.88:
            kinds = ["h"]
        elif x < 0.93:
            kinds = ["p"]
        elif x < 0.96:
            kinds = ["m"]
        elif x < 0.975:
            kinds = ["r"]
        else:
            kinds = ["a"]
        k = kinds[0]
        n = 1
        if k in "ifh":
            n = r.choices([1, 2, 3, 4, 5], weights=[60, 25, 9, 4, 2])[0]
        if k in "if" and n >= 2 and r.random() < 0.5:
            pool = by_kind["i"] + by_kind["f"]
        else:
            pool = by_kind[k]
        pool = [p for p in pool if p not in ("石灰硫黄合剤", "全卵粉末")]
        names = r.sample(pool, min(n, len(pool)))
        return names

    def formulation_for(self, kinds):
        r = self.rnd
        if "m" in kinds:
            return ("くん蒸剤", "くん蒸剤", "f")
        if kinds == {"a"}:
            return ("剤", "その他", "o")
        choices = K.FORMULATIONS if "h" not in kinds else [
            f for f in K.FORMULATIONS if f[0] in ("粒剤", "水和剤", "液剤", "乳剤", "複合肥料")]
        return r.choice(choices)

    def use_for(self, bits, kinds, form):
        if form[0] == "複合肥料":
            return "農薬肥料"
        if "h" in kinds:
            return "除草剤"
        if "p" in kinds:
            return "植物成長調整剤"
        if "r" in kinds:
            return "殺そ剤"
        if kinds & {"s", "a", "v"}:
            return "その他"
        ins = bool(bits & (1 | 8 | 16))
        fun = bool(bits & 2)
        return "殺虫殺菌剤" if ins and fun else ("殺虫剤" if ins else "殺菌剤")

    def make_product(self, names, form, meisho, tsusho, shurui=None, ippanmei=None, seibun=None):
        r = self.rnd
        p = Product()
        rows = [self.ing[n] for n in names]
        p.kind = "".join(sorted({row[4] for row in rows}))
        p.slots = [""] if (shurui or "") == "展着剤" else [K.TYPE_SLOT_NAMES.get(n, n) for n in names]
        kinds = set(p.kind)
        p.bits = 0
        for row in rows:
            p.bits |= row[3]
        p.shurui = shurui or ("・".join(names) + form[0])
        p.zaikei = form[1]
        p.spray = form[2]
        p.yoto = self.use_for(p.bits, kinds, form)
        p.meisho = meisho
        p.tsusho = tsusho
        p.ryakusho = r.choice(K.MAKERS)
        p.ings = []
        for i, row in enumerate(rows):
            ip = ippanmei[i] if ippanmei else row[1]
            sb = seibun[i] if seibun else row[0]
            p.ings.append((ip, sb, "%.1f%%" % (r.choice([0.5, 1.0, 2.0, 3.0, 5.0, 10.0, 20.0, 40.0, 50.0, 75.0]))))
        y = r.randint(1965, 2026)
        p.torokubi = "%04d/%02d/%02d" % (y, r.randint(1, 12), r.randint(1, 28))
        return p

    def special_products(self):
        """Products that carry the deliberate hard cases; present in every size."""
        F = {f[0]: f for f in K.FORMULATIONS}
        out = []

        def add(case, note, **kw):
            p = self.make_product(**kw)
            out.append(p)
            self.hard.append({"case": case, "note": note, "meisho": p.meisho})
            return p

        add("lime_sulphur_type", "type 石灰硫黄合剤 keeps its 剤 and names one slot",
            names=["石灰硫黄合剤"], form=("", "液剤", "s"), shurui="石灰硫黄合剤",
            meisho="キング石灰硫黄合剤", tsusho="石灰硫黄合剤")
        add("whole_egg_type", "type 全卵粉末水和剤 gives the slot 全卵粉末",
            names=["全卵粉末"], form=F["水和剤"], shurui="全卵粉末水和剤",
            meisho="ミホンシカヨケ", tsusho="ミホンシカヨケ")
        add("spreader_without_effect_bits", "spreader (type 展着剤) whose ingredient has no effect bits",
                 names=["ポリオキシエチレンノニルフェニルエーテル"], form=("展着剤", "その他", "o"),
                 shurui="展着剤", meisho="ミホンテンチャク", tsusho="ミホンテンチャク", seibun=[""])
        add("pyrethrum_type", "type 除虫菊乳剤 names the slot ピレトリン",
            names=["ピレトリン"], form=F["乳剤"], shurui="除虫菊乳剤",
            meisho="ミホン除虫菊乳剤", tsusho="ミホン除虫菊乳剤")
        add("wettable_sulphur_type", "type 水和硫黄剤 names the slot 硫黄",
            names=["硫黄"], form=F["水和剤"], shurui="水和硫黄剤", meisho="ミホンイオウ", tsusho="ミホンイオウ")
        add("cyanate_type", "type シアン酸塩粒剤 names the slot シアン酸ナトリウム",
            names=["シアン酸ナトリウム"], form=F["粒剤"], shurui="シアン酸塩粒剤",
            meisho="ミホンクサカレ粒剤", tsusho="ミホンクサカレ粒剤")
        add("full_width_type", "type written in full-width letters (ＤＥＰ・ＭＥＰ乳剤 = DEP・MEP乳剤)",
            names=["DEP", "MEP"], form=F["乳剤"], shurui="ＤＥＰ・ＭＥＰ乳剤",
            meisho="ミホンＤＭ乳剤５０", tsusho="ミホンDM乳剤50")
        add("comma_in_field", "ingredient 2,4-PA holds a comma inside a quoted field",
            names=["2,4-PA"], form=F["液剤"], meisho="ミホンニヨン液剤", tsusho="ミホンニヨン液剤")
        add("typographic_quote", "product name holding ’ (U+2019); the publisher's CSV path turns it into a "
            "single quote (meisho and tsusho of the manifest), the makers' files keep it (makers_meisho)",
            names=["ペルメトリン"], form=F["エアゾル"], meisho="ミホン’スプレー", tsusho="ミホン’スプレー")
        add("trail_bytes", "ダ (83 5F \"_\") and ソ (83 5C \"\\\") in name and ingredient",
            names=["ダイファシノン"], form=("剤", "粒剤", "g"), shurui="ダイファシノン剤",
            meisho="ダソクリーン粒剤", tsusho="ダソクリーン粒剤")
        add("halfwidth_kana", "ingredient written in half-width katakana with voiced marks (ﾀﾞｲｱｼﾞﾉﾝ)",
            names=["ダイアジノン"], form=F["粒剤"], meisho="ホクコーミホンジノン粒剤５",
            tsusho="ミホンジノン粒剤5", ippanmei=["ﾀﾞｲｱｼﾞﾉﾝ"], seibun=["ﾀﾞｲｱｼﾞﾉﾝ"])
        add("blank_in_name", "maker mark followed by a blank (becomes \"_\" in the CSV imports)",
            names=["クロチアニジン", "アゾキシストロビン"], form=F["粒剤"],
            meisho="シンジェンタ ミホンガード箱粒剤", tsusho="ミホンガード箱粒剤")
        add("five_ingredients", "five ingredients fill every slot",
            names=["ピラクロニル", "ブロモブチド", "ベンスルフロンメチル", "ペントキサゾン", "シハロホップブチル"],
            form=F["粒剤"], meisho="ミホンゴカン1キロ粒剤", tsusho="ミホンゴカン1キロ粒剤")
        add("differing_general_name", "general name differs from the name in the type (MCP / MCPナトリウム塩)",
            names=["MCP"], form=F["液剤"], shurui="MCP液剤",
            meisho="ミホンエムシー液剤", tsusho="ミホンエムシー液剤")
        add("attractant", "attractant: effect 誘引 only, purpose instead of pest",
            names=["ヘキサデセニルアセタート"], form=("剤", "その他", "o"), meisho="ミホンコンフュ",
            tsusho="ミホンコンフュ")
        return out

    @staticmethod
    def mark_fits(mark, name):
        """True when putting the mark in front of the name makes no strippable text that
        lies across the two."""
        whole = mark + name
        return not any(t in whole and t not in mark and t not in name for t in K.STRIP_TEXTS)

    def build_products(self):
        target = SIZES[self.size]["products"]
        r = self.rnd
        specials = self.special_products()
        used = set()
        generic = []
        while len(generic) + len(specials) < target:
            names = self.pick_ingredients()
            kinds = {self.ing[n][4] for n in names}
            form = self.formulation_for(kinds)
            base = self.brand(used)
            suffix = {"乳剤": "乳剤", "水和剤": r.choice(["水和剤", "フロアブル", "顆粒水和剤"]),
                      "粒剤": r.choice(["粒剤", "1キロ粒剤", "箱粒剤", "ジャンボ"]), "粉剤": r.choice(["粉剤", "粉剤DL"]),
                      "液剤": r.choice(["液剤", "液剤AL", ""]), "エアゾル": "スプレー"}.get(form[0], "")
            base = base + suffix
            if any(t in base for t in K.STRIP_TEXTS):
                continue
            family = r.choices([1, 2, 3], weights=[70, 20, 10])[0]
            marks = r.sample([m for m in K.NAME_MARKS if self.mark_fits(m, base)], 3)
            if r.random() < 0.6:
                marks[0] = ""
            shurui = "・".join(names) + form[0]
            for i in range(family):
                if len(generic) + len(specials) >= target:
                    break
                generic.append(self.make_product(names=names, form=form, meisho=marks[i] + base,
                                                 tsusho=base, shurui=shurui))
        allp = specials + generic
        r.shuffle(allp)
        bango = 10000
        for p in allp:
            bango += r.randint(1, 4)
            p.bango = bango
        self.products = allp

    # ---- applications -----------------------------------------------------------------
    def app_counts(self):
        total = SIZES[self.size]["applications"]
        r = self.rnd
        w = [r.paretovariate(1.6) for _ in self.products]
        s = sum(w)
        counts = [max(1, int(total * x / s)) for x in w]
        diff = total - sum(counts)
        i = 0
        while diff != 0:
            j = i % len(counts)
            if diff > 0:
                counts[j] += 1
                diff -= 1
            elif counts[j] > 1:
                counts[j] -= 1
                diff += 1
            i += 1
        return counts

    def app_row(self, p):
        r = self.rnd
        kinds = set(p.kind)
        k = p.kind[0] if len(p.kind) == 1 else r.choice(p.kind)
        crops = K.CROPS_BY_KIND.get(k, K.CROPS_DEFAULT)
        sakumotsu = r.choice(crops)
        byochu, mokuteki = "", ""
        if k in K.PURPOSES_BY_KIND:
            mokuteki = r.choice(K.PURPOSES_BY_KIND[k])
        else:
            pests = K.PESTS_BY_KIND.get(k, K.PESTS_BY_KIND["o"])
            byochu = r.choice(pests)
        basho, jikan, ondo = "-", "-", "-"
        ekiryo = ""
        if p.spray == "s":
            baisu = r.choice(["%d倍" % r.choice([500, 1000, 2000, 3000]),
                              "%d～%d倍" % r.choice([(1000, 1500), (1000, 2000), (2000, 4000), (500, 1000)])])
            ekiryo = r.choice(["100～300L/10a", "200～700L/10a", "100～150L/10a"])
        elif p.spray == "g":
            baisu = r.choice(["%dkg/10a" % r.choice([1, 3, 6, 9]), "1～3g/株", "%d～%dkg/10a" % (3, 6)])
        elif p.spray == "f":
            baisu = r.choice(["20～30L/10a", "1缶/100m3", "30ml/㎡"])
            basho = r.choice(["ほ場", "温室", "倉庫"])
            jikan = r.choice(["2～3時間", "24時間", "-"])
            ondo = r.choice(["15℃以上", "-"])
        else:
            baisu = r.choice(["原液", "100ml/10a", "100本/10a"])
        if "h" in kinds:
            jiki = r.choice(["植付後5日～ノビエ2.5葉期 但し、収穫60日前まで", "雑草生育期", "収穫30日前まで",
                             "移植直後～ノビエ1葉期"])
            hoho = r.choice(["湛水散布", "雑草茎葉散布", "全面土壌散布"])
        elif "p" in kinds:
            jiki = r.choice(["満開後10～15日", "開花期", "収穫45日前まで"])
            hoho = r.choice(["散布", "果房浸漬", "茎葉散布"])
        else:
            jiki = r.choice(["収穫前日まで", "収穫3日前まで", "収穫7日前まで", "収穫14日前まで", "植付時",
                             "は種前", "発生初期"])
            hoho = r.choice(["散布", "株元散布", "土壌混和", "育苗箱の上から均一に散布", "全面散布"])
        if p.spray == "f":
            hoho = "土壌くん蒸"
        kaisu = "%d回以内" % r.randint(1, 5)
        dojo = r.choice(["-"] * 9 + ["砂土を除く"])
        chitai = r.choice(["-"] * 9 + ["北海道を除く"])
        tekiyaku = ""
        ks = []
        for n in range(5):
            if n < len(p.ings) and p.shurui != "展着剤":
                c = r.randint(1, 6)
                ks.append(r.choice(["%d回以内" % c, "%d回以内(種子への処理は1回以内、散布は%d回以内)" % (c + 1, c)]))
            else:
                ks.append("")
        return [sakumotsu, basho, byochu, mokuteki, baisu, ekiryo, jiki, kaisu, hoho, jikan, ondo, dojo,
                chitai, tekiyaku] + ks

    def build_apps(self):
        counts = self.app_counts()
        apps = []
        for p, n in zip(self.products, counts):
            for _ in range(n):
                apps.append((p.bango, self.app_row(p)))
        self.apps = apps

    # ---- output helpers ---------------------------------------------------------------
    def write(self, rel, text, encoding="cp932"):
        path = os.path.join(self.out, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = text.encode(encoding) if isinstance(text, str) else text
        with open(path, "wb") as f:
            f.write(data)
        self.files[rel] = {"bytes": len(data), "sha256": hashlib.sha256(data).hexdigest(),
                           "encoding": encoding}
        return data

    def write_zip(self, rel, entries):
        """entries: list of (entry name, bytes). Entry names are stored in CP932 without the
        UTF-8 flag, as the publisher's archiver writes them."""
        path = os.path.join(self.out, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED) as z:
            for name, data in entries:
                info = Cp932ZipInfo(name, ZIP_TIME)
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = 0o644 << 16
                z.writestr(info, data)
        with open(path, "rb") as f:
            data = f.read()
        self.files[rel] = {"bytes": len(data), "sha256": hashlib.sha256(data).hexdigest(),
                           "encoding": "zip",
                           "entries": [{"name": n, "name_cp932_hex": n.encode("cp932").hex(),
                                        "bytes": len(d)} for n, d in entries]}

    # ---- the publisher's CSV form ------------------------------------------------------
    @staticmethod
    def dq(v):
        return '"' + str(v).replace('"', '""') + '"'

    def kihon_records(self):
        for p in self.products:
            for ip, sb, nodo in p.ings:
                yield p, [str(p.bango), p.shurui, p.meisho, p.ryakusho, ip, sb, nodo, str(len(p.ings)),
                          p.yoto, p.zaikei, p.torokubi]

    def publisher(self):
        lines = [",".join(self.dq(h) for h in KIHON_HEADER)]
        n = 0
        for _, rec in self.kihon_records():
            lines.append(",".join(self.dq(v) for v in rec))
            n += 1
        kihon_csv = (CRLF.join(lines) + CRLF).encode("cp932")
        tag = "20261130"
        names = {"kihon": "登録基本部csv_%s" % tag, "tekiyo1": "登録適用部一_%s" % tag, "tekiyo2": "登録適用部二_%s" % tag}
        entry_kihon = "登録基本部_%s.csv" % tag
        self.man["publisher_csv"] = {"kihon": {"archive": "publisher/%s.zip" % names["kihon"], "entry": entry_kihon,
                                               "records": n, "lines": n + 1}}
        self.write_zip("publisher/%s.zip" % names["kihon"], [(entry_kihon, kihon_csv)])

        byb = {p.bango: p for p in self.products}
        half = self.products_sorted[len(self.products_sorted) // 2].bango
        part1 = [a for a in self.apps if a[0] < half]
        part2 = [a for a in self.apps if a[0] >= half]
        for key, part, access in (("tekiyo1", part1, False), ("tekiyo2", part2, True)):
            data, info = self.tekiyo_file(part, byb, access, key == "tekiyo1")
            entry = names[key] + ".csv"
            self.write_zip("publisher/%s.zip" % names[key], [(entry, data)])
            info.update({"archive": "publisher/%s.zip" % names[key], "entry": entry, "access_no_column": access})
            self.man["publisher_csv"][key] = info
        self.update_page(names)

    def tekiyo_file(self, part, byb, access, with_hard_cases):
        header = list(TEKIYO_HEADER)
        if access:
            header.insert(19, ACCESS_NO)
        out = [",".join(self.dq(h) for h in header)]
        physical = 1
        hard = {}
        if with_hard_cases:
            hard = self.tekiyo_hard_cases(part, byb)
        for i, (bango, vals) in enumerate(part):
            p = byb[bango]
            lead = [str(bango), p.shurui, p.meisho, p.ryakusho, p.yoto]
            vals = list(vals)
            case = hard.get(i)
            if case:
                vals[TEKIYO_COLUMNS.index(case["column"])] = case["raw"]
            items = lead + vals[:14] + [str(len(p.ings))] + vals[14:]
            if access:
                items.insert(19, str(900000 + i))
            cells = [self.dq(v) for v in items]
            if case and case["case"] == "short_line":
                cells = cells[:22]
            line = ",".join(cells)
            physical += line.count("\n") + 1
            out.append(line)
        data = (CRLF.join(out) + CRLF).encode("cp932")
        return data, {"records": len(part), "lines": physical}

    def tekiyo_hard_cases(self, part, byb):
        """Puts raw values with their expected stored values into chosen records of the
        first application file."""
        cases = []

        def pick(pred):
            for i, (b, v) in enumerate(part):
                if i not in picked and pred(byb[b], v):
                    picked.add(i)
                    return i
            return None
        picked = set()
        spray = lambda p, v: p.spray == "s"
        specs = [
            ("full_width_digits", "baisu", spray, "１０００倍", "1000倍"),
            ("litre_sign", "ekiryo", spray, "100～300㍑/10a", "100～300L/10a"),
            ("full_width_m_g", "baisu", lambda p, v: p.spray == "g", "3～5ｇ/株", "3～5g/株"),
            ("trail_byte_underscore", "byochu", lambda p, v: p.kind == "i", "ダニ類", "ダニ類"),
            ("trail_byte_backslash", "sakumotsu", lambda p, v: True, "ソルゴー", "ソルゴー"),
            ("halfwidth_kana_voiced", "hoho", lambda p, v: True, "ｼﾞｮｳﾛで土壌灌注", "ジョウロで土壌灌注"),
            ("blank_inside_value", "jiki", lambda p, v: True, "収穫前日まで ただし開花期を除く",
             "収穫前日まで ただし開花期を除く"),
            ("quoted_field_over_two_lines", "hoho", lambda p, v: True, "散布" + CRLF + "(少量散布)", "散布(少量散布)"),
            ("short_line", "kaisu3", lambda p, v: len(p.ings) == 2, "", None),
        ]
        for name, col, pred, raw, expect in specs:
            i = pick(pred)
            if i is None:
                continue
            b = part[i][0]
            c = {"case": name, "file": "tekiyo1", "record": i, "bango": b, "column": col,
                 "raw": raw, "expected": expect}
            if name == "short_line":
                c["note"] = "line of 22 items; kaisu3 to kaisu5 read as NULL"
            cases.append(c)
        out = {}
        for c in cases:
            out[c["record"]] = c
            self.hard.append({k: v for k, v in c.items()})
            # keep the generated value list consistent with what the file now holds
            vals = part[c["record"]][1]
            if c["case"] != "short_line":
                vals[TEKIYO_COLUMNS.index(c["column"])] = c["expected"]
            else:
                for n in (2, 3, 4):
                    vals[14 + n] = ""
        return out

    def update_page(self, names):
        links = "\n".join(
            '<li><a href="datacsv/%s.zip" target ="_blank">%s</a>（CSV形式）</li>' % (names[k], label)
            for k, label in (("kihon", "登録基本部"), ("tekiyo1", "登録適用部一"), ("tekiyo2", "登録適用部二")))
        page = ("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"UTF-8\">\n"
                "<title>農薬登録情報ダウンロード（サンプルデータ）</title>\n</head>\n<body>\n"
                "<h1>農薬登録情報ダウンロード（サンプルデータ）</h1>\n"
                "<!-- <p>令和元年5月1日反映分</p> -->\n"
                "<p>サンプルデータ　%s反映分（%s付け失効も反映しています）</p>\n"
                "<ul>\n%s\n</ul>\n<p>このページのデータはすべて架空のサンプルデータです。</p>\n</body>\n</html>\n"
                % (DATA_AS_OF_ERA, DATA_AS_OF_ERA[DATA_AS_OF_ERA.index("年") + 1:], links))
        self.write("publisher/update2.htm", b"\xef\xbb\xbf" + page.encode("utf-8"), encoding="utf-8")
        day = DATA_AS_OF_ERA[DATA_AS_OF_ERA.index("年") + 1:]
        self.man["data_as_of"]["update2.htm"] = {
            "line": "サンプルデータ　%s反映分（%s付け失効も反映しています）" % (DATA_AS_OF_ERA, day),
            "expected": "サンプルデータ　%s反映及び%s付け失効反映" % (DATA_AS_OF_ERA, day),
            "archives": {k: names[k] + ".zip" for k in names}}

    # ---- the makers' CSV set -----------------------------------------------------------
    @staticmethod
    def sq(v):
        return "NULL" if v == "" else "'" + v.replace("'", "''") + "'"

    def makers(self):
        lines = [",".join(KIHON_HEADER)]
        for p, rec in self.kihon_records():
            rec = [makers_text(v) for v in rec]
            cells = [rec[0]] + [self.sq(v) for v in rec[1:7]] + [rec[7]] + [self.sq(v) for v in rec[8:]]
            lines.append(",".join(cells))
        kihon = (CRLF.join(lines) + CRLF).encode("cp932")
        byb = {p.bango: p for p in self.products}
        lines = [",".join(TEKIYO_HEADER)]
        hard_rows = {}
        sq_m = next((i for i, (b, v) in enumerate(self.apps) if byb[b].spray == "g"), None)
        m2 = next((i for i, (b, v) in enumerate(self.apps) if i != sq_m and v[8] == "散布"), None)
        if sq_m is not None:
            hard_rows[sq_m] = ("baisu", "20～30g/平方メートル", "20～30g/㎡", "square_metre_words")
        if m2 is not None:
            hard_rows[m2] = ("hoho", "散布(100m2当り10L)", "散布(100㎡当り10L)", "m2_in_method")
        for i, (b, vals) in enumerate(self.apps):
            p = byb[b]
            vals = [makers_text(v) for v in vals]
            if i in hard_rows:
                col, raw, exp, name = hard_rows[i]
                vals[TEKIYO_COLUMNS.index(col)] = raw
                self.hard.append({"case": name, "file": "makers/tekiyo.csv", "record": i, "bango": b,
                                  "column": col, "raw": raw, "expected": exp})
            lead = [str(b)] + [self.sq(makers_text(x)) for x in (p.shurui, p.meisho, p.ryakusho, p.yoto)]
            cells = lead + [self.sq(v) for v in vals[:14]] + [str(len(p.ings))] + [self.sq(v) for v in vals[14:]]
            lines.append(",".join(cells))
        tekiyo = (CRLF.join(lines) + CRLF).encode("cp932")
        self.write_zip("makers/toroku.zip", [("kihon.csv", kihon), ("tekiyo.csv", tekiyo)])
        upd = "本ファイルは、「%s」分を反映した農薬登録情報です。(サンプルデータ)" % DATA_AS_OF_ERA + CRLF
        upd += "このデータは試験用の架空データです。" + CRLF
        self.write("makers/update.txt", upd)
        self.man["makers_csv"] = {
            "archive": "makers/toroku.zip",
            "kihon": {"entry": "kihon.csv", "records": self.man["publisher_csv"]["kihon"]["records"]},
            "tekiyo": {"entry": "tekiyo.csv", "records": len(self.apps)}}
        self.man["data_as_of"]["update.txt"] = {
            "line": upd.split(CRLF)[0], "expected": "%s反映(サンプルデータ)" % DATA_AS_OF_ISO}

    # ---- the workbook sheet as a grid ----------------------------------------------------
    def sheet_grid(self):
        """The product-registration sheet as the workbook reader hands it over: cells as text,
        the registration date as a day number, and the header row repeated in the middle."""
        rows = [KIHON_HEADER]
        recs = list(self.kihon_records())
        mid = len(recs) // 2
        base = datetime.date(1899, 12, 30)
        for i, (p, rec) in enumerate(recs):
            if i == mid:
                rows.append(KIHON_HEADER)
            y, m, d = (int(x) for x in rec[10].split("/"))
            rec = rec[:10] + [str((datetime.date(y, m, d) - base).days)]
            rows.append(rec)
        text = CRLF.join(",".join(self.dq(v) for v in row) for row in rows) + CRLF
        self.write("sheets/kihon_sheet.csv", text)
        self.man["sheet_grid"] = {"file": "sheets/kihon_sheet.csv", "rows": len(rows), "header_rows": [0, mid + 1],
                                  "records": len(recs)}

    # ---- reference scripts -------------------------------------------------------------
    def crops(self):
        out = []
        counters = {}
        stack = []
        widths = [2, 2, 2, 2, 4, 4]
        for line in K.CROPS.strip().splitlines():
            d, name, ruby, toroku, betsumei, gunmei, part = line.split("|")
            d = int(d)
            stack = stack[:d]
            parent = stack[-1] if stack else ""
            counters[parent] = counters.get(parent, 0) + 1
            code = parent + "%0*d" % (widths[d], counters[parent])
            stack.append(code)
            out.append({"idsaku": code.ljust(16, "0"), "class": d, "sakumotsu": name, "ruby": ruby,
                        "toroku": int(toroku), "betsumei": betsumei, "gunmei": gunmei, "shukakubui": part,
                        "ancestors": [c.ljust(16, "0") for c in stack[:-1]]})
        return out

    @staticmethod
    def lit(v):
        if v is None or v == "":
            return "NULL"
        if isinstance(v, int):
            return str(v)
        return "'" + v.replace("'", "''") + "'"

    def table_sql(self, table, columns, rows, chunk=400):
        cols = ",".join("[%s] %s" % c for c in columns)
        out = ["DROP TABLE IF EXISTS %s;" % table, "CREATE TABLE %s (%s);" % (table, cols)]
        for i in range(0, len(rows), chunk):
            vals = ",".join("(" + ",".join(self.lit(v) for v in row) + ")" for row in rows[i:i + chunk])
            out.append("INSERT INTO %s VALUES %s;" % (table, vals))
        self.counts[table.split(".")[-1]] = len(rows)
        return out

    def script(self, name, lines, tables, encoding="cp932"):
        text = "-- サンプルデータ（架空）" + CRLF + CRLF.join(lines) + CRLF
        self.write("scripts/" + name, text, encoding)
        self.man["reference_scripts"][name] = {"encoding": encoding, "tables": tables}

    def reference(self):
        V, I = "VARCHAR", "INTEGER"
        crops = self.crops()
        by_name = {c["sakumotsu"]: c for c in crops}
        rows = []
        hojo = []
        for c in crops:
            rows.append([c["idsaku"], c["idsaku"][:10], c["class"], c["class"],
                         c["sakumotsu"], c["betsumei"], c["ruby"], c["gunmei"], c["toroku"], c["shukakubui"]])
            anc = [x["sakumotsu"] for x in crops if x["idsaku"] in c["ancestors"]]
            if c["gunmei"]:
                anc.append(c["gunmei"])
            exc = K.CROP_EXCLUDES.get(c["sakumotsu"], [])
            inc = K.CROP_INCLUDES.get(c["sakumotsu"], [])
            hojo.append([c["idsaku"], "、".join(anc), "、" + "、".join(exc) + "、" if exc else "",
                         "、" + "、".join(inc) + "、" if inc else ""])
        extra = [["9%015d" % (i + 1), 5, 1, "", n, "", ruby, "", "、".join([n, ruby])]
                 for i, (n, ruby) in enumerate(K.CROPS_EXTRA)]
        sak = self.table_sql("main.m_sakumotsu", [("idsaku", V), ("xidsaku", V), ("class", I), ("level", I),
                                                  ("sakumotsu", V), ("betsumei", V), ("ruby", V), ("gunmei", V),
                                                  ("toroku", I), ("shukakubui", V)], rows)
        sak += self.table_sql("main.sakuhojo", [("idsaku", V), ("shozoku", V), ("nozoku", V), ("fukumu", V)], hojo)
        sak += self.table_sql("main.sakumotsu_ex", [("idsaku", V), ("class", I), ("toroku", I), ("shukakubui", V),
                                                    ("sakumotsu", V), ("betsumei", V), ("ruby", V), ("gunmei", V),
                                                    ("keywords", V)], extra)
        sak += [
            "DROP VIEW IF EXISTS main.vg_sakumotsu2;",
            "CREATE VIEW main.vg_sakumotsu2 AS SELECT class, idsaku, toroku, shukakubui, sakumotsu, betsumei, "
            "gunmei, ruby FROM m_sakumotsu ORDER BY idsaku;",
            "DROP VIEW IF EXISTS main.vs_sakumotsu2;",
            "CREATE VIEW main.vs_sakumotsu2 AS SELECT class, idsaku, toroku, shukakubui, sakumotsu, betsumei, "
            "gunmei, ltrim(sakumotsu || ifnull(betsumei, '') || '、' || ifnull(ruby, ''), '、') AS keywords, "
            "CASE WHEN gunmei = '落葉果樹' THEN 1 ELSE 0 END AS rakuyokaju FROM m_sakumotsu "
            "UNION ALL SELECT class, idsaku, toroku, shukakubui, sakumotsu, betsumei, gunmei, keywords, 0 "
            "FROM sakumotsu_ex ORDER BY idsaku;",
            "DROP VIEW IF EXISTS main.vg_sakumotsu;",
            "CREATE VIEW main.vg_sakumotsu AS SELECT sakumotsu, idsaku, class, toroku, gunmei, ruby, betsumei "
            "FROM m_sakumotsu WHERE toroku IN (1,3) ORDER BY idsaku;",
        ]
        self.script("sakumotsu.txt", sak, {"m_sakumotsu": len(rows), "sakuhojo": len(hojo),
                                           "sakumotsu_ex": len(extra)})
        self.man["crops"] = {"by_class": {str(d): sum(1 for c in crops if c["class"] == d) for d in range(6)},
                             "by_toroku": {str(t): sum(1 for c in crops if c["toroku"] == t) for t in range(4)},
                             "extra_9": len(extra)}

        # pests
        gcid = {g[0]: g[2] for g in K.GBYOCHU}
        prow = []
        seq = {}
        for name, ruby, gid, bet in K.PESTS:
            cid = gcid[gid]
            seq[gid] = seq.get(gid, 0) + 1
            prow.append(["%d%02d%05d" % (cid, gid, seq[gid]), name, bet, ruby, cid, gid])
        pcols = [("idbyochu", V), ("byochu", V), ("betsumei", V), ("ruby", V), ("cid", I), ("gid", I)]
        pes = self.table_sql("main.m_byochu", pcols, prow)
        pes += self.table_sql("main.byochu", pcols, [r for r in prow if r[4] != 6])
        pes += self.table_sql("main.cbyochu", [("cid", I), ("cname", V)], [list(x) for x in K.CBYOCHU])
        pes += self.table_sql("main.gbyochu", [("gid", I), ("gname", V), ("cid", I)], [list(x) for x in K.GBYOCHU])
        self.script("byochu.txt", pes, {"m_byochu": len(prow), "byochu": len([r for r in prow if r[4] != 6]),
                                        "cbyochu": len(K.CBYOCHU), "gbyochu": len(K.GBYOCHU)})

        # ingredient classification and effects
        brows = []
        seen = set()
        for row in K.INGREDIENTS:
            for name in (row[0], row[1]):
                if name not in seen:
                    seen.add(name)
                    brows.append([name, row[2], row[3]])
        bun = self.table_sql("spec.bunrui", [("seibun", V), ("keito", V), ("kokaid", I)], brows)
        bun += self.table_sql("spec.koka", [("kokaid", I), ("koka", V)], [list(x) for x in K.KOKA])
        self.script("spec.bunrui.txt", bun, {"bunrui": len(brows), "koka": len(K.KOKA)})

        # resistance classes
        rac = {"F": [], "I": [], "H": []}
        for row in K.INGREDIENTS:
            if row[5]:
                rac[row[5][0]].append(row)
        cid = {"F": 1, "I": 2, "H": 3}
        racmeta = {"F": ("作用点F", "作用機構F"), "I": ("作用点I", "作用機構I"), "H": ("作用点H", "作用機構H")}
        for key, fname, tname in (("F", "spec.frac.txt", "spec.frac_mg"), ("I", "spec.irac.txt", "spec.irac_mg"),
                                  ("H", "spec.hrac.txt", "spec.hrac_mg")):
            rows = [[r[1], r[5], r[2], racmeta[key][0] + r[5][2:], racmeta[key][1], r[5][2:3] if key == "F" else "",
                     "中" if key == "F" else "", cid[key]] for r in rac[key]]
            lines = self.table_sql(tname, [("ippanmei", V), ("mid", V), ("keito", V), ("sayoten", V),
                                           ("sayokiko", V), ("fgroup", V), ("risk", V), ("cid", I)], rows)
            tables = {tname.split(".")[1]: len(rows)}
            if key == "H":
                sel = "SELECT ippanmei, mid, keito, sayoten, sayokiko, fgroup, risk, cid FROM %s"
                union = " UNION ALL ".join(sel % t for t in ("frac_mg", "irac_mg", "hrac_mg"))
                lines += ["DROP VIEW IF EXISTS spec.rac;",
                          "CREATE VIEW spec.rac AS SELECT ippanmei, mid, keito, sayoten, sayokiko, fgroup, risk "
                          "FROM (%s);" % union,
                          "DROP VIEW IF EXISTS spec.rac2;",
                          "CREATE VIEW spec.rac2 AS SELECT ippanmei, cid, keito FROM (%s);" % union,
                          "DROP VIEW IF EXISTS spec.raccode;",
                          "CREATE VIEW spec.raccode AS SELECT ippanmei, cid, mid FROM (%s);" % union]
            self.script(fname, lines, tables)
        self.man["rac_rows"] = sum(len(v) for v in rac.values())

        # small tables keyed by names
        self.script("spec.ryutsu.txt", self.table_sql("spec.ryutsu", [("ryakusho", V), ("ryutsu", V)],
                                                      [[m, "系統流通"] for m in K.MAKERS]), {"ryutsu": len(K.MAKERS)})
        shurui_ids = sorted({p.yoto for p in self.products})
        self.script("spec.idshurui.txt", self.table_sql("spec.idshurui", [("idshurui", I), ("shurui", V)],
                                                        [[i + 1, s] for i, s in enumerate(shurui_ids)]),
                    {"idshurui": len(shurui_ids)})
        iso = [[r[1], r[6]] for r in K.INGREDIENTS if r[6]]
        self.script("spec.iso.txt", self.table_sql("spec.iso", [("ippanmei", V), ("iso", V)], iso), {"iso": len(iso)})

        # keyword lists, common-name readings, toxicity, aquatic cautions
        kw = [[p.bango, "、".join([hankaku_ascii(p.meisho), p.tsusho] + [i[0] for i in p.ings])]
              for p in self.products_sorted]
        self.script("kwlists.txt", self.table_sql("main.kwlists", [("bango", I), ("kws", V)], kw),
                    {"kwlists": len(kw)})
        ts = sorted({hankaku_ascii(p.tsusho) for p in self.products} | {makers_text(p.tsusho) for p in self.products})
        kana = str.maketrans({chr(c): chr(c - 0x60) for c in range(0x30A1, 0x30F4)})
        ruby = [[t, t.translate(kana)] for t in ts]
        self.script("tsushoruby.txt", self.table_sql("main.tsushoruby", [("tsusho", V), ("ruby", V)], ruby),
                    {"tsushoruby": len(ruby)})
        seiz = [[p.bango, "劇物" if any(self.ing_by_general(i[0])[7] == "劇物" for i in p.ings) else "普通物",
                 "Ｂ類" if p.bango % 3 == 0 else "Ａ類", "-"] for p in self.products_sorted]
        self.script("acis.seizai.txt", self.table_sql("main.seizai", [("bango", I), ("dokusei", V), ("gyodoku", V),
                                                                      ("seizaieikyo", V)], seiz),
                    {"seizai": len(seiz)})
        dok = [[r[1], r[0] if r[0] != r[1] else "", r[7], "" if r[7] == "普通物" else "0.5%以下を含有する製剤",
                {"i": "殺虫剤", "f": "殺菌剤", "h": "除草剤"}.get(r[4], "その他"), "-", ""] for r in K.INGREDIENTS]
        dlines = self.table_sql("main.m_dokusei", [("ippanmei", V), ("seibunmei", V), ("dokusei", V), ("jogai", V),
                                                   ("yoto", V), ("seibunEikyo", V), ("biko", V)], dok)
        dlines += ["DROP TABLE IF EXISTS main.dokusei;", "CREATE TABLE main.dokusei AS SELECT * FROM main.m_dokusei;",
                   "CREATE TABLE IF NOT EXISTS spec.info ([item] VARCHAR, [value] VARCHAR);",
                   "DELETE FROM spec.info WHERE item = 'm_dokusei';",
                   "INSERT INTO spec.info (item, value) VALUES ('m_dokusei', '%s');" % DATA_AS_OF_ISO]
        self.counts["dokusei"] = len(dok)
        self.script("acis.dokusei.txt", dlines, {"m_dokusei": len(dok), "dokusei": len(dok)})
        sui = [[p.bango, "水産動植物（魚類）に影響を及ぼすので、河川、養殖池等に飛散、流入しないよう注意して使用すること。#"
                         "使用残りの薬液が生じないように調製を行うこと。"]
               for p in self.products_sorted if p.bango % 4 == 0]
        self.script("acis.suisan.txt", self.table_sql("main.suisan", [("bango", I), ("chuijiko", V)], sui),
                    {"suisan": len(sui)})

        # organic-farming notes
        oj_s = [["除虫菊乳剤", "有機JAS使用可"], ["石灰硫黄合剤", "有機JAS使用可"], ["水和硫黄剤", "有機JAS使用可"]]
        oj_k = [["微生物", "有機JAS使用可"], ["性フェロモン", "有機JAS使用可"], ["無機銅", "有機JAS使用可"]]
        oj_i = [["BT", "有機JAS使用可"], ["ピレトリン", "有機JAS使用可"], ["硫黄", "有機JAS使用可"]]
        oj = self.table_sql("spec.ojas", [("kind", V), ("name", V), ("ojas", V)],
                            [["shurui"] + x for x in oj_s] + [["keito"] + x for x in oj_k] + [["seibun"] + x for x in oj_i])
        oj += self.table_sql("spec.ojas_shurui", [("shurui", V), ("ojas", V)], oj_s)
        oj += self.table_sql("spec.ojas_keito", [("keito", V), ("ojas", V)], oj_k)
        oj += self.table_sql("spec.ojas_seibun", [("seibun", V), ("ojas", V)], oj_i)
        self.script("spec.ojas.txt", oj, {"ojas": 9, "ojas_shurui": 3, "ojas_keito": 3, "ojas_seibun": 3})

        # crop groups of the appended table, feed rice, deciduous fruit
        # Both tables hold the large, middle and small crop group of a crop (its ancestors
        # at depths 0 to 2), then the crop's name, other names, harvested part and reading.
        def groups(c):
            anc = [x["sakumotsu"] for x in crops if x["idsaku"] in c["ancestors"]]
            return (anc + [None, None, None])[:3]
        lg_rows = []
        for c in crops:
            if c["class"] in (1, 2, 3) and c["toroku"] in (1, 3):
                lg_rows.append(groups(c) + [c["sakumotsu"], c["betsumei"].lstrip("、"), c["shukakubui"], c["ruby"]])
        # one row without a large group
        lg_rows.append([None, None, None, "その他の作物", "", "", "そのたのさくもつ"])
        bp = self.table_sql("spec.beppyo1", [("no", I), ("sakumotsu", V), ("bunrui", V)],
                            [[i + 1, r[3], r[0]] for i, r in enumerate(lg_rows)])
        bp += self.table_sql("spec.beppyo1n", [("lg", V), ("mg", V), ("sg", V), ("sakumotsu", V), ("betsumei", V),
                                               ("shukakubui", V), ("ruby", V)], lg_rows)
        ts_rows = [[i + 1, c["idsaku"]] + groups(c) + [c["sakumotsu"], c["betsumei"].lstrip("、"), c["class"],
                                                        c["shukakubui"], c["ruby"]]
                   for i, c in enumerate(crops) if c["toroku"] in (1, 3)]
        bp += self.table_sql("spec.tekiyosakumotsu", [("no", I), ("idsaku", V), ("lg", V), ("mg", V), ("sg", V),
                                                      ("sakumotsu", V), ("betsumei", V), ("class", I),
                                                      ("shukakubui", V), ("ruby", V)], ts_rows)
        self.script("spec.beppyo1.txt", bp, {"beppyo1": len(lg_rows), "beppyo1n": len(lg_rows),
                                             "tekiyosakumotsu": len(ts_rows)})
        feed = [[p.bango, hankaku_ascii(p.meisho), "飼料用米"] for p in self.products_sorted
                if "水稲" in {a[1][0] for a in self.apps_by_bango.get(p.bango, [])}][:40]
        self.script("spec.feedrice.txt", self.table_sql("spec.feedrice", [("bango", I), ("meisho", V), ("biko", V)],
                                                        feed), {"feedrice": len(feed)})
        rk = [[c["sakumotsu"], c["idsaku"]] for c in crops if c["gunmei"] == "落葉果樹"]
        self.script("spec.rakuyokaju.txt", self.table_sql("spec.rakuyokaju", [("sakumotsu", V), ("idsaku", V)], rk),
                    {"rakuyokaju": len(rk)})

        # crop vocabulary (UTF-8 file)
        fam = {"果樹類": "バラ科", "野菜類": "ナス科", "稲": "イネ科", "麦類": "イネ科", "豆類(種実)": "マメ科",
               "花き類・観葉植物": "キク科", "樹木類": "バラ科", "非農耕地": None}
        cvo = []
        for c in crops:
            top = [x for x in crops if x["idsaku"] == c["idsaku"][:2].ljust(16, "0")][0]["sakumotsu"]
            vals = [c["sakumotsu"], fam.get(top), c["ruby"], c["idsaku"], c["betsumei"].lstrip("、")] + \
                   ["属性%d" % k for k in range(16)]
            cvo.append(vals)
        cvo_cols = [("sakumotsu", V), ("family", V), ("ruby", V), ("idsaku", V), ("betsumei", V)] + \
                   [("c%02d" % k, V) for k in range(16)]
        cl = self.table_sql("spec.cvo", cvo_cols, cvo)
        cl += self.table_sql("spec.cvo2", cvo_cols + [("sciname", V)], [v + ["Planta exempli"] for v in cvo])
        self.script("spec.cvo.utf8.txt", cl, {"cvo": len(cvo), "cvo2": len(cvo)}, encoding="utf-8")
        self.man["reference_script_order"] = [
            "spec.bunrui.txt", "spec.ryutsu.txt", "spec.idshurui.txt", "spec.iso.txt", "spec.frac.txt",
            "spec.irac.txt", "spec.hrac.txt", "kwlists.txt", "spec.beppyo1.txt", "spec.feedrice.txt",
            "tsushoruby.txt", "spec.cvo.utf8.txt", "spec.rakuyokaju.txt", "acis.seizai.txt", "acis.dokusei.txt",
            "acis.suisan.txt", "spec.ojas.txt", "sakumotsu.txt", "byochu.txt"]

    def ing_by_general(self, general):
        for row in K.INGREDIENTS:
            if general in (row[0], row[1]):
                return row
        return ("", "", "", 0, "", "", "", "普通物")

    # ---- JPP input files ---------------------------------------------------------------
    def jpp(self):
        def q(v):
            return '"' + str(v).replace('"', '""') + '"'
        prods = self.products_sorted
        lines = [JPP_SEIZAI_HEADER]
        for p in prods:
            f = [str(p.bango), str(len(p.ings))] + [q(v) for v in [
                makers_text(p.shurui), makers_text(p.meisho), "C%03d" % (K.MAKERS.index(p.ryakusho) + 1),
                p.ryakusho, "03-0000-0000", "Y1", p.yoto, "液体" if p.spray == "s" else "固体",
                p.torokubi, "", "", "", "Z1", p.zaikei, "普通物", p.torokubi, "J1", "サンプル", "", p.tsusho,
                "", "", "", "", ""]]
            lines.append(",".join(f))
        seizai = (CRLF.join(lines) + CRLF).encode("cp932")
        lines = [JPP_SEIBUN_HEADER]
        n = 0
        mid = len(prods) // 2
        for k, p in enumerate(prods):
            if k == mid:
                repeated = len(lines)
                lines.append(JPP_SEIBUN_HEADER)
            for j, (ip, sb, nodo) in enumerate(p.ings):
                row = self.ing_by_general(ip)
                kagaku = "サンプル化学名 %s" % (row[6] or ip)
                if k == 0 and j == 0:
                    kagaku = "N,N'-ジメチル-サンプル化合物"
                f = [str(p.bango), str(100 + K.INGREDIENTS.index(row) if row in K.INGREDIENTS else 999),
                     q(makers_text(p.shurui)), str(j + 1), q(nodo), q(""), q(ip), q(sb), q(kagaku), q(p.yoto),
                     q(row[7]), q(""), q(""), q(""), q("K%02d" % (j + 1)), q(row[2]), q("J1"), q("サンプル"),
                     q(row[5]), q(row[5] and "作用機構" + row[5])]
                lines.append(",".join(f))
                n += 1
        seibun = (CRLF.join(lines) + CRLF).encode("cp932")
        self.write("jpp/jpp_seizai.csv", seizai)
        self.write("jpp/jpp_seibun.csv", seibun)
        self.man["jpp"] = {"seizai": {"file": "jpp/jpp_seizai.csv", "records": len(prods)},
                           "seibun": {"file": "jpp/jpp_seibun.csv", "records": n, "repeated_header_line": repeated,
                                      "apostrophe_bango": prods[0].bango}}

    # ---- everything --------------------------------------------------------------------
    def run(self, out):
        self.out = out
        self.files = {}
        self.counts = {}
        self.man = {"kit": "quillmar-samplekit", "version": 1, "size": self.size, "seed": self.seed,
                    "sample_data": True, "data_as_of": {}, "reference_scripts": {}}
        self.build_products()
        self.products_sorted = sorted(self.products, key=lambda p: p.bango)
        self.products = self.products_sorted
        self.build_apps()
        self.apps_by_bango = {}
        for a in self.apps:
            self.apps_by_bango.setdefault(a[0], []).append(a)
        self.publisher()
        self.makers()
        self.sheet_grid()
        self.reference()
        self.jpp()
        kihon_rows = sum(len(p.ings) for p in self.products)
        self.man["tables"] = dict(sorted(self.counts.items()))
        self.man["tables"].update({"kihon": kihon_rows, "tm_kihon": len(self.products), "m_kihon": len(self.products),
                                   "seibun": kihon_rows, "m_tekiyo": len(self.apps)})
        self.man["products"] = [
            dict({"bango": p.bango, "meisho": hankaku_ascii(p.meisho), "tsusho": hankaku_ascii(p.tsusho),
                  "shurui": hankaku_ascii(p.shurui),
             "kongo": len(p.ings), "slots": self.slots(p), "koka": koka_text(p.bits, p.shurui),
             "torokubi": p.torokubi.replace("/", "."), "applications": len(self.apps_by_bango.get(p.bango, []))},
                 **({"makers_meisho": makers_text(p.meisho), "makers_tsusho": makers_text(p.tsusho)}
                    if makers_text(p.meisho) != hankaku_ascii(p.meisho) else {}))
            for p in self.products]
        tsv = []
        for p in self.products:
            tsv.append(hankaku_ascii(p.meisho) + "\t" + hankaku_ascii(p.tsusho))
            if makers_text(p.meisho) != hankaku_ascii(p.meisho):
                tsv.append(makers_text(p.meisho) + "\t" + makers_text(p.tsusho))
        self.write("expect/tsusho.tsv", CRLF.join(tsv) + CRLF)
        self.man["hard_cases"] = self.hard
        self.man["files"] = dict(sorted(self.files.items()))
        data = json.dumps(self.man, ensure_ascii=False, indent=1, sort_keys=True).encode("utf-8")
        with open(os.path.join(out, "manifest.json"), "wb") as f:
            f.write(data)

    @staticmethod
    def slots(p):
        return p.slots


class Cp932ZipInfo(zipfile.ZipInfo):
    """A ZIP entry whose name is stored as CP932 bytes without the UTF-8 flag."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits & ~0x800


def main(argv=None):
    ap = argparse.ArgumentParser(description="Writes the sample-data kit.")
    ap.add_argument("--size", choices=sorted(SIZES), default="small")
    ap.add_argument("--out", required=True)
    ap.add_argument("--seed", type=int, default=20261130)
    a = ap.parse_args(argv)
    os.makedirs(a.out, exist_ok=True)
    Kit(a.size, a.seed).run(a.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
