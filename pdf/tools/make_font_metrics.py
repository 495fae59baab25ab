#!/usr/bin/env python3
"""Writes font_metrics.cpp: widths and descriptor values of the built-in fonts.

Usage: make_font_metrics.py > pdf/font_metrics.cpp
       make_font_metrics.py --check pdf/font_metrics.cpp   (exit 1 when the file differs)

Where each number comes from:
- Widths of fonts 0-38: Adobe's own font metric (AFM) files of the named fonts, as Debian's
  enscript package ships them (ADOBE_DIR, table FONTS below). A glyph those files lack (the
  Euro, and ZapfDingbats' codes 128-141) takes its width from Adobe's later editions of the
  same fonts, which groff-base ships converted to groff's font files (GROFF_DIR). The
  metric-compatible URW fonts are no source for widths: several of their glyphs differ
  (Helvetica's fraction is 278 there, 167 in Adobe's metrics).
- FontBBox, ItalicAngle, XHeight and fixed pitch of fonts 0-34: the AFM files of the URW
  fonts that Debian ships in fonts-urw-base35 (URW_DIR), each standard name read from the
  URW file that replaces it.
- Ascent, cap height and descent of every font: the library's own height table (HEIGHTS),
  which answers tpdf_ascent, tpdf_capHeight and tpdf_descent.
- StemV and StemH: the AFM files carry none; ours are by weight (STEMS: 80/40 for light and
  regular weights, 140/70 for demi and bold).
- Flags: computed from the AFM (fixed pitch, italic angle) and the family (serif, script,
  symbolic), with the bit values of the PDF font descriptor.
- MaxWidth and AvgWidth: the largest and the mean non-zero width of codes 32-255;
  MissingWidth and Leading: 0.
- Helvetica-Condensed and its three faces: widths from their Adobe AFM files; the other
  descriptor values from the matching Helvetica-Narrow face. TPDF-Monospace takes Courier's
  metrics (every glyph 600). TPDF-SmallCap takes Times-Roman's with each lower-case letter
  given 80 % of the width of its capital.
- CID fonts 41-47: no widths (their widths are in their W texts); descriptor values are ours:
  FontBBox from the height table (0, descent, 1000, ascent), Flags 4 for the gothic faces and
  6 for the serif ones, StemV 80, StemH 40, XHeight 450, MissingWidth 500, MaxWidth 1000,
  AvgWidth 500.

Width slots: 0-255 by WinAnsi code (Symbol and ZapfDingbats by their own codes), then 12
glyphs that WinAnsi lacks but the Standard and MacRoman encodings use (EXTRA), then slot 268
for a code that has no glyph in these fonts (width 0). The remap tables send a code of the
MacRoman (1), MacExpert (2, identity) and Standard (3) encodings to its width slot.
"""
import sys

ADOBE_DIR = "/usr/share/enscript/afm"
GROFF_DIR = "/usr/share/groff/current/font/devps"
URW_DIR = "/usr/share/fonts/type1/urw-base35"

ADOBE = [  # Adobe's AFM file (enscript's name), groff's font file, of fonts 0-38
    ("hv", "HR"), ("hvb", "HB"), ("hvo", "HI"), ("hvbo", "HBI"),
    ("tir", "TR"), ("tib", "TB"), ("tii", "TI"), ("tibi", "TBI"),
    ("com", "CR"), ("cob", "CB"), ("coo", "CI"), ("cobo", "CBI"), ("sy", "S"), ("zd", "ZD"),
    ("agw", "AR"), ("agwo", "AI"), ("agd", "AB"), ("agdo", "ABI"),
    ("bkd", "BMB"), ("bkdi", "BMBI"), ("bkl", "BMR"), ("bkli", "BMI"),
    ("hvn", "HNR"), ("hvno", "HNI"), ("hvnb", "HNB"), ("hvnbo", "HNBI"),
    ("ncr", "NR"), ("nci", "NI"), ("ncb", "NB"), ("ncbi", "NBI"),
    ("por", "PR"), ("poi", "PI"), ("pob", "PB"), ("pobi", "PBI"), ("zcmi", "ZCMI"),
    ("hvc", None), ("hvcb", None), ("hvcdo", None), ("hvcbo", None),
]

FONTS = [  # (built-in name, URW metric file)
    ("Helvetica", "NimbusSans-Regular"), ("Helvetica-Bold", "NimbusSans-Bold"),
    ("Helvetica-Oblique", "NimbusSans-Italic"), ("Helvetica-BoldOblique", "NimbusSans-BoldItalic"),
    ("Times-Roman", "NimbusRoman-Regular"), ("Times-Bold", "NimbusRoman-Bold"),
    ("Times-Italic", "NimbusRoman-Italic"), ("Times-BoldItalic", "NimbusRoman-BoldItalic"),
    ("Courier", "NimbusMonoPS-Regular"), ("Courier-Bold", "NimbusMonoPS-Bold"),
    ("Courier-Oblique", "NimbusMonoPS-Italic"), ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic"),
    ("Symbol", "StandardSymbolsPS"), ("ZapfDingbats", "D050000L"),
    ("AvantGarde-Book", "URWGothic-Book"), ("AvantGarde-BookOblique", "URWGothic-BookOblique"),
    ("AvantGarde-Demi", "URWGothic-Demi"), ("AvantGarde-DemiOblique", "URWGothic-DemiOblique"),
    ("Bookman-Demi", "URWBookman-Demi"), ("Bookman-DemiItalic", "URWBookman-DemiItalic"),
    ("Bookman-Light", "URWBookman-Light"), ("Bookman-LightItalic", "URWBookman-LightItalic"),
    ("Helvetica-Narrow", "NimbusSansNarrow-Regular"),
    ("Helvetica-Narrow-Oblique", "NimbusSansNarrow-Oblique"),
    ("Helvetica-Narrow-Bold", "NimbusSansNarrow-Bold"),
    ("Helvetica-Narrow-BoldOblique", "NimbusSansNarrow-BoldOblique"),
    ("NewCenturySchlbk-Roman", "C059-Roman"), ("NewCenturySchlbk-Italic", "C059-Italic"),
    ("NewCenturySchlbk-Bold", "C059-Bold"), ("NewCenturySchlbk-BoldItalic", "C059-BdIta"),
    ("Palatino-Roman", "P052-Roman"), ("Palatino-Italic", "P052-Italic"),
    ("Palatino-Bold", "P052-Bold"), ("Palatino-BoldItalic", "P052-BoldItalic"),
    ("ZapfChancery-MediumItalic", "Z003-MediumItalic"),
]
DERIVED = [  # fonts 35-40: (name, index of the font whose other metrics they take)
    ("Helvetica-Condensed", 22), ("Helvetica-Condensed-Bold", 24),
    ("Helvetica-Condensed-Oblique", 23), ("Helvetica-Condensed-BoldObl", 25),
    ("TPDF-Monospace", 8), ("TPDF-SmallCap", 4),
]
SERIF = {4, 5, 6, 7, 8, 9, 10, 11, 18, 19, 20, 21, 26, 27, 28, 29, 30, 31, 32, 33, 40}
SCRIPT = {34}
SYMBOLIC = {12, 13}
BOLD = {1, 3, 5, 7, 9, 11, 16, 17, 18, 19, 24, 25, 28, 29, 32, 33, 36, 38}

HEIGHTS = {}
for idx in (0, 1, 2, 3, 12, 13, 22, 23, 24, 25, 39): HEIGHTS[idx] = (718, 718, -207)
for idx in (4, 40): HEIGHTS[idx] = (683, 662, -217)
HEIGHTS.update({5: (676, 676, -205), 6: (683, 653, -205), 7: (699, 669, -205)})
for idx in (8, 10): HEIGHTS[idx] = (629, 562, -157)
for idx in (9, 11): HEIGHTS[idx] = (626, 562, -142)
for idx in (14, 15): HEIGHTS[idx] = (740, 740, -192)
for idx in (16, 17): HEIGHTS[idx] = (740, 740, -185)
HEIGHTS.update({18: (725, 681, -212), 19: (732, 681, -213), 20: (717, 681, -228),
                21: (717, 681, -212)})
for idx in (26, 27, 28, 29): HEIGHTS[idx] = (737, 722, -205)
HEIGHTS.update({30: (726, 692, -281), 31: (733, 692, -276), 32: (720, 681, -258),
                33: (726, 681, -271), 34: (714, 708, -314)})
for idx in (35, 37): HEIGHTS[idx] = (750, 750, -188)
for idx in (36, 38): HEIGHTS[idx] = (750, 750, -189)
HEIGHTS.update({41: (875, 718, -125), 42: (857, 718, -143)})
for idx in range(43, 48): HEIGHTS[idx] = (880, 880, -120)

ASCII = ("space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft "
         "parenright asterisk plus comma hyphen period slash zero one two three four five six "
         "seven eight nine colon semicolon less equal greater question at A B C D E F G H I J K "
         "L M N O P Q R S T U V W X Y Z bracketleft backslash bracketright asciicircum "
         "underscore grave a b c d e f g h i j k l m n o p q r s t u v w x y z braceleft bar "
         "braceright asciitilde").split()
WIN_HIGH = {128: "Euro", 130: "quotesinglbase", 131: "florin", 132: "quotedblbase",
            133: "ellipsis", 134: "dagger", 135: "daggerdbl", 136: "circumflex",
            137: "perthousand", 138: "Scaron", 139: "guilsinglleft", 140: "OE", 142: "Zcaron",
            145: "quoteleft", 146: "quoteright", 147: "quotedblleft", 148: "quotedblright",
            149: "bullet", 150: "endash", 151: "emdash", 152: "tilde", 153: "trademark",
            154: "scaron", 155: "guilsinglright", 156: "oe", 158: "zcaron", 159: "Ydieresis",
            160: "space"}
LATIN1 = ("exclamdown cent sterling currency yen brokenbar section dieresis copyright "
          "ordfeminine guillemotleft logicalnot hyphen registered macron degree plusminus "
          "twosuperior threesuperior acute mu paragraph periodcentered cedilla onesuperior "
          "ordmasculine guillemotright onequarter onehalf threequarters questiondown Agrave "
          "Aacute Acircumflex Atilde Adieresis Aring AE Ccedilla Egrave Eacute Ecircumflex "
          "Edieresis Igrave Iacute Icircumflex Idieresis Eth Ntilde Ograve Oacute Ocircumflex "
          "Otilde Odieresis multiply Oslash Ugrave Uacute Ucircumflex Udieresis Yacute Thorn "
          "germandbls agrave aacute acircumflex atilde adieresis aring ae ccedilla egrave eacute "
          "ecircumflex edieresis igrave iacute icircumflex idieresis eth ntilde ograve oacute "
          "ocircumflex otilde odieresis divide oslash ugrave uacute ucircumflex udieresis yacute "
          "thorn ydieresis").split()
EXTRA = ("fi fl fraction dotlessi ring hungarumlaut ogonek caron dotaccent breve Lslash "
         "lslash").split()
NO_GLYPH = 268

# The MacRoman encoding of PDF, codes 128-255 (None: no glyph in the PDF encoding).
MAC_HIGH = ("Adieresis Aring Ccedilla Eacute Ntilde Odieresis Udieresis aacute agrave "
            "acircumflex adieresis atilde aring ccedilla eacute egrave ecircumflex edieresis "
            "iacute igrave icircumflex idieresis ntilde oacute ograve ocircumflex odieresis "
            "otilde uacute ugrave ucircumflex udieresis dagger degree cent sterling section "
            "bullet paragraph germandbls registered copyright trademark acute dieresis - AE "
            "Oslash - plusminus - - yen mu - - - - - ordfeminine ordmasculine - ae oslash "
            "questiondown exclamdown logicalnot - florin - - guillemotleft guillemotright "
            "ellipsis space Agrave Atilde Otilde OE oe endash emdash quotedblleft quotedblright "
            "quoteleft quoteright divide - ydieresis Ydieresis fraction currency guilsinglleft "
            "guilsinglright fi fl daggerdbl periodcentered quotesinglbase quotedblbase "
            "perthousand Acircumflex Ecircumflex Aacute Edieresis Egrave Iacute Icircumflex "
            "Idieresis Igrave Oacute Ocircumflex - Ograve Uacute Ucircumflex Ugrave dotlessi "
            "circumflex tilde macron breve dotaccent ring cedilla hungarumlaut ogonek "
            "caron").split()
STANDARD_HIGH = {
    161: "exclamdown", 162: "cent", 163: "sterling", 164: "fraction", 165: "yen", 166: "florin",
    167: "section", 168: "currency", 169: "quotesingle", 170: "quotedblleft",
    171: "guillemotleft", 172: "guilsinglleft", 173: "guilsinglright", 174: "fi", 175: "fl",
    177: "endash", 178: "dagger", 179: "daggerdbl", 180: "periodcentered", 182: "paragraph",
    183: "bullet", 184: "quotesinglbase", 185: "quotedblbase", 186: "quotedblright",
    187: "guillemotright", 188: "ellipsis", 189: "perthousand", 191: "questiondown",
    193: "grave", 194: "acute", 195: "circumflex", 196: "tilde", 197: "macron", 198: "breve",
    199: "dotaccent", 200: "dieresis", 202: "ring", 203: "cedilla", 205: "hungarumlaut",
    206: "ogonek", 207: "caron", 208: "emdash", 225: "AE", 227: "ordfeminine", 232: "Lslash",
    233: "Oslash", 234: "OE", 235: "ordmasculine", 241: "ae", 245: "dotlessi", 248: "lslash",
    249: "oslash", 250: "oe", 251: "germandbls"}


def win_ansi():
    names = {32 + i: n for i, n in enumerate(ASCII)}
    names.update(WIN_HIGH)
    names.update({161 + i: n for i, n in enumerate(LATIN1)})
    return names


def slot_of_name():
    """Width slot of each glyph name: its WinAnsi code, else its extra slot."""
    slots = {}
    for code, name in sorted(win_ansi().items()):
        slots.setdefault(name, code)
    for i, name in enumerate(EXTRA):
        slots[name] = 256 + i
    return slots


def remap_tables():
    slots = slot_of_name()
    assert len(MAC_HIGH) == 128, len(MAC_HIGH)
    mac = list(range(128)) + [slots[n] if n != "-" else NO_GLYPH for n in MAC_HIGH]
    standard = list(range(256))
    standard[39], standard[96] = slots["quoteright"], slots["quoteleft"]
    for code in range(127, 256):
        name = STANDARD_HIGH.get(code)
        standard[code] = slots[name] if name else NO_GLYPH
    return mac, list(range(256)), standard


def read_afm(path):
    info, by_name, by_code = {}, {}, {}
    for line in open(path, encoding="latin-1"):
        fields = line.split()
        if not fields:
            continue
        if fields[0] == "C":
            parts = dict(p.split(None, 1) for p in line.split(";") if len(p.split()) >= 2)
            width = int(float(parts["WX"]))
            by_name.setdefault(parts["N"].strip(), width)
            if int(fields[1]) >= 0:
                by_code.setdefault(int(fields[1]), width)
        elif len(fields) >= 2:
            info[fields[0]] = fields[1:]
    return info, by_name, by_code


def read_groff(path):
    """Widths by glyph name and by code from one of groff's font files."""
    by_name, by_code, in_charset = {}, {}, False
    for line in open(path, encoding="latin-1"):
        fields = line.rstrip("\n").split("\t")
        if fields[0] == "charset":
            in_charset = True
        elif in_charset and len(fields) >= 4 and fields[1] != '"':
            width = int(fields[1].split(",")[0])
            by_name.setdefault(fields[4] if len(fields) > 4 else fields[0], width)
            by_code.setdefault(int(fields[3]), width)
    return by_name, by_code


def adobe_widths(index):
    """Adobe's widths of font `index`: its AFM file first, groff's later edition after."""
    afm, groff = ADOBE[index]
    _, by_name, by_code = read_afm(f"{ADOBE_DIR}/{afm}.afm")
    if groff:
        later_name, later_code = read_groff(f"{GROFF_DIR}/{groff}")
        for name, width in later_name.items():
            by_name.setdefault(name, width)
        for code, width in later_code.items():
            by_code.setdefault(code, width)
    return widths_of(index, by_name, by_code)


def widths_of(index, by_name, by_code):
    if index in SYMBOLIC:
        return [by_code.get(c, 0) for c in range(256)] + [0] * 13
    names = win_ansi()
    row = [by_name.get(names.get(c, ""), 0) for c in range(256)]
    return row + [by_name.get(n, 0) for n in EXTRA] + [0]


def descriptor(index, info, widths):
    angle = float(info["ItalicAngle"][0])
    fixed = info["IsFixedPitch"][0] == "true"
    flags = (1 if fixed else 0) | (2 if index in SERIF else 0) | (8 if index in SCRIPT else 0)
    flags |= 4 if index in SYMBOLIC else 32
    flags |= 64 if angle != 0 else 0
    stem_v, stem_h = (140, 70) if index in BOLD else (80, 40)
    used = [w for w in widths[32:256] if w > 0]
    return {"flags": flags, "bbox": [int(v) for v in info["FontBBox"]], "angle": angle,
            "stemV": stem_v, "stemH": stem_h, "xHeight": int(info["XHeight"][0]),
            "missing": 0, "leading": 0, "max": max(used), "avg": round(sum(used) / len(used))}


def small_caps(widths):
    row = list(widths)
    for c in range(ord("a"), ord("z") + 1):
        row[c] = round(widths[c - 32] * 0.8)
    return row


def main():
    widths, descriptors = [], []
    for index, (name, urw) in enumerate(FONTS):
        info, _, _ = read_afm(f"{URW_DIR}/{urw}.afm")
        row = adobe_widths(index)
        widths.append((name, f"{ADOBE[index][0]}.afm", row))
        descriptors.append(descriptor(index, info, row))
    for offset, (name, source) in enumerate(DERIVED):
        index = 35 + offset
        if index < len(ADOBE):
            row, note = adobe_widths(index), f"{ADOBE[index][0]}.afm"
        else:
            row, note = widths[source][2], f"metrics of {widths[source][0]}"
        if name == "TPDF-SmallCap":
            row = small_caps(row)
            note += ", lower case at 80 % of the capitals"
        widths.append((name, note, row))
        d = dict(descriptors[source])
        d["flags"] = (d["flags"] & ~2) | (2 if index in SERIF else 0)
        used = [w for w in row[32:256] if w]
        d["max"], d["avg"] = max(used), round(sum(used) / len(used))
        descriptors.append(d)
    for index in range(41, 48):
        ascent, _, descent = HEIGHTS[index]
        descriptors.append({"flags": 4 if index in (41, 43, 45) else 6,
                            "bbox": [0, descent, 1000, ascent], "angle": 0.0, "stemV": 80,
                            "stemH": 40, "xHeight": 450, "missing": 500, "leading": 0,
                            "max": 1000, "avg": 500})
    mac, expert, standard = remap_tables()

    out = []
    out.append("// Generated by tools/make_font_metrics.py; see there where each number comes from.")
    out.append('#include "font_metrics.h"\n\nnamespace tpdf {\n')
    out.append(f"const short kFontWidths[{len(widths)}][kWidthSlots] = {{")
    for name, source, row in widths:
        out.append(f"    // {name} ({source})\n    {{")
        for i in range(0, len(row), 16):
            out.append("        " + ", ".join(str(w) for w in row[i:i + 16]) + ",")
        out.append("    },")
    out.append("};\n")
    out.append("const BuiltInDescriptor kFontDescriptors[48] = {")
    for index, d in enumerate(descriptors):
        ascent, cap, descent = HEIGHTS[index]
        bbox = ", ".join(str(v) for v in d["bbox"])
        out.append(f"    {{{ascent}, {cap}, {descent}, {d['flags']}, {{{bbox}}}, {d['angle']:.1f}f, "
                   f"{d['stemV']}, {d['stemH']}, {d['xHeight']}, {d['missing']}, {d['leading']}, "
                   f"{d['max']}, {d['avg']}}},")
    out.append("};\n")
    out.append("const short kEncodingRemap[3][256] = {")
    for label, table in (("MacRomanEncoding", mac), ("MacExpertEncoding", expert),
                         ("StandardEncoding", standard)):
        out.append(f"    // {label}\n    {{")
        for i in range(0, 256, 16):
            out.append("        " + ", ".join(str(v) for v in table[i:i + 16]) + ",")
        out.append("    },")
    out.append("};\n\n} // namespace tpdf")
    text = "\n".join(out) + "\n"
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        same = open(sys.argv[2], encoding="utf-8").read() == text
        if not same:
            print(f"{sys.argv[2]} differs from the metrics it is generated from", file=sys.stderr)
        sys.exit(0 if same else 1)
    sys.stdout.write(text)


main()
