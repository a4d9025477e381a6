#!/usr/bin/env python3
"""Writes the SXF sheets of this folder in both forms, .sfc and .p21, from one
description each, following the format as documented (not through our own
writer). Run it from anywhere; it rewrites the sheets beside it.

    python3 make_corpus.py
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))

COLOURS = ["black", "red", "green", "blue"]  # codes 1.. in this order
LINE_TYPES = ["continuous", "dashed"]
WIDTHS = [0.25, 0.5]  # standard codes 3 and 5


def sw(w):
    """A width's code in .sfc: the standard code of its width."""
    return {0: 0, 1: 3, 2: 5}[w]
LAYERS = ["L1", "L2"]


def n6(v):
    return "%.6f" % v


def n(v):
    # .p21 reals: always with a point
    s = repr(float(v))
    return s if ("." in s or "e" in s) else s + "."


class Sfc:
    def __init__(self):
        self.blocks = []
        self.curves = 0

    def feature(self, text, tag="SXF"):
        ident = 10 * (len(self.blocks) + 1)
        self.blocks.append("/*%s\r\n#%d = %s\r\nSXF%s*/\r\n" % (tag, ident, text, tag[3:]))

    @staticmethod
    def q(*values):
        return ",".join("'%s'" % v for v in values)

    @staticmethod
    def s(text):
        return "\\'%s\\'" % text

    def text(self, layer, colour, t):
        self.feature("text_string_feature(%s,%s,%s)" % (
            self.q(layer, colour, 1), self.s(t["text"]),
            self.q(*text_params(t))))

    def file(self, name):
        head = ("ISO-10303-21;\r\nHEADER;\r\n"
                "FILE_DESCRIPTION(('SCADEC level2 feature_mode'),'2;1');\r\n"
                "FILE_NAME('%s','2026-1-1T00:00:00',(''),(''),"
                "'corpus$$3.1','corpus','');\r\n"
                "FILE_SCHEMA(('ASSOCIATIVE_DRAUGHTING'));\r\nENDSEC;\r\nDATA;\r\n" % name)
        return (head + "".join(self.blocks) + "ENDSEC;\r\nEND-ISO-10303-21;\r\n").encode("cp932")


def spacing(t):
    return t.get("spacing", 0.5 * t["cw"])


def text_params(t):
    count = len(t["text"])
    width = t["cw"] * count + spacing(t) * (count - 1)
    return (n6(t["x"]), n6(t["y"]), n6(t["h"]), n6(width), n6(spacing(t)),
            "%.12f" % t.get("angle", 0), "0.000000000000", t.get("anchor", 1),
            2 if t.get("vertical") else 1)


def p21_string(text):
    out = "'"
    wide = ""
    for ch in text:
        if ord(ch) < 0x80:
            if wide:
                out += "\\X2\\" + wide + "\\X0\\"
                wide = ""
            out += {"'": "''", "\\": "\\\\"}.get(ch, ch)
        else:
            wide += "%04X" % ord(ch)
    if wide:
        out += "\\X2\\" + wide + "\\X0\\"
    return out + "'"


class P21:
    def __init__(self):
        self.lines = []
        self.cache = {}
        self.layer_items = {name: [] for name in LAYERS}
        self.mm = self.add("(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.))")
        rad = self.add("(NAMED_UNIT(*)PLANE_ANGLE_UNIT()SI_UNIT($,.RADIAN.))")
        self.ctx = self.add("(GEOMETRIC_REPRESENTATION_CONTEXT(2)GLOBAL_UNIT_ASSIGNED_CONTEXT"
                            "((#%d,#%d))REPRESENTATION_CONTEXT('ID1','2D'))" % (rad, self.mm))

    def add(self, text):
        self.lines.append(text)
        return len(self.lines)

    def once(self, key, text):
        if key not in self.cache:
            self.cache[key] = self.add(text)
        return self.cache[key]

    def point(self, x, y):
        return self.add("CARTESIAN_POINT('',(%s,%s))" % (n(x), n(y)))

    def axis(self, x, y, angle_deg=0.0):
        p = self.point(x, y)
        a = math.radians(angle_deg)
        d = self.add("DIRECTION('',(%s,%s))" % (n(math.cos(a)), n(math.sin(a))))
        return self.add("AXIS2_PLACEMENT_2D('',#%d,#%d)" % (p, d))

    def colour(self, code):
        return self.once(("c", code), "DRAUGHTING_PRE_DEFINED_COLOUR('%s')" % COLOURS[code - 1])

    def curve_style(self, t, w, c):
        font = self.once(("t", t), "DRAUGHTING_PRE_DEFINED_CURVE_FONT('%s')" % LINE_TYPES[t - 1])
        width = self.once(("w", w), "LENGTH_MEASURE_WITH_UNIT(POSITIVE_LENGTH_MEASURE(%s),#%d)"
                          % (n(WIDTHS[w - 1]), self.mm))
        return self.once(("cs", t, w, c), "CURVE_STYLE('',#%d,#%d,#%d)" % (font, width, self.colour(c)))

    def psa(self, style):
        return self.once(("psa", style), "PRESENTATION_STYLE_ASSIGNMENT((#%d))" % style)

    def occurrence(self, kind, psa, item, layer):
        occ = self.add("(%s()ANNOTATION_OCCURRENCE()DRAUGHTING_ANNOTATION_OCCURRENCE()"
                       "GEOMETRIC_REPRESENTATION_ITEM()REPRESENTATION_ITEM('')"
                       "STYLED_ITEM((#%d),#%d))" % (kind, psa, item))
        self.layer_items[LAYERS[layer - 1]].append(occ)
        return occ

    def polyline(self, pts):
        refs = ",".join("#%d" % self.point(x, y) for x, y in pts)
        return self.add("POLYLINE('',(%s))" % refs)

    def curve(self, layer, c, t, w, item):
        return self.occurrence("ANNOTATION_CURVE_OCCURRENCE", self.psa(self.curve_style(t, w, c)),
                               item, layer)

    def text(self, layer, colour, t):
        count = len(t["text"])
        width = t["cw"] * count + spacing(t) * (count - 1)
        anchor = t.get("anchor", 1)
        row = (anchor - 1) // 3
        drop = 0 if row == 0 else (t["h"] / 2 if row == 1 else t["h"])
        a = math.radians(t.get("angle", 0))
        ax = self.axis(t["x"] + drop * math.sin(a), t["y"] - drop * math.cos(a), t.get("angle", 0))
        font = self.once("font", "DRAUGHTING_PRE_DEFINED_TEXT_FONT('MS Gothic')")
        ext = self.add("PLANAR_EXTENT('',%s,%s)" % (n(width), n(t["h"])))
        align = ["baseline left", "baseline centre", "baseline right", "middle left", "middle centre",
                 "middle right", "top left", "top centre", "top right"][anchor - 1]
        lit = self.add("TEXT_LITERAL_WITH_EXTENT('',%s,#%d,'%s',%s,#%d,#%d)" % (
            p21_string(t["text"]), ax, align, ".DOWN." if t.get("vertical") else ".RIGHT.", font, ext))
        tsf = self.once(("tsf", colour), "TEXT_STYLE_FOR_DEFINED_FONT(#%d)" % self.colour(colour))
        # The box width is the character's, whatever the spacing.
        box = self.once(("box", colour, t["cw"]), "TEXT_STYLE_WITH_BOX_CHARACTERISTICS('',#%d,"
                        "(BOX_WIDTH(%s),BOX_SLANT_ANGLE(0.)))" % (tsf, n(t["cw"])))
        return self.occurrence("ANNOTATION_TEXT_OCCURRENCE", self.psa(box), lit, layer)

    def file(self, name, sheet_items, w, h):
        box = self.add("PLANAR_BOX('',%s,%s,#%d)" % (n(w), n(h), self.axis(0, 0)))
        items = ",".join("#%d" % i for i in sheet_items + [box])
        self.add("DRAWING_SHEET_REVISION('A3_horizontal',(%s),#%d,'01')" % (items, self.ctx))
        for layer in LAYERS:
            refs = ",".join("#%d" % i for i in self.layer_items[layer])
            self.add("PRESENTATION_LAYER_ASSIGNMENT('%s','',(%s))" % (layer, refs))
        head = ("ISO-10303-21;\r\nHEADER;\r\n"
                "FILE_DESCRIPTION(('SCADEC level2 AP202_mode'),'2;1');\r\n"
                "FILE_NAME('%s','2026-1-1T00:00:00',(''),(''),"
                "'corpus$$3.1','corpus','');\r\n"
                "FILE_SCHEMA(('ASSOCIATIVE_DRAUGHTING'));\r\nENDSEC;\r\nDATA;\r\n" % name)
        body = "".join("#%d=%s;\r\n" % (i + 1, l) for i, l in enumerate(self.lines))
        return (head + body + "ENDSEC;\r\nEND-ISO-10303-21;\r\n").encode("ascii")


# ---- the elements, each written in both forms ----

class Line:
    def __init__(self, layer, c, t, w, pts):
        self.layer, self.c, self.t, self.w, self.pts = layer, c, t, w, pts

    def sfc(self, f):
        xs = ",".join(n6(x) for x, _ in self.pts)
        ys = ",".join(n6(y) for _, y in self.pts)
        f.feature("polyline_feature(%s,'(%s)','(%s)')" % (
            f.q(self.layer, self.c, self.t, sw(self.w), len(self.pts)), xs, ys))

    def p21(self, g):
        return [g.curve(self.layer, self.c, self.t, self.w, g.polyline(self.pts))]


class Label:
    def __init__(self, layer, c, **t):
        self.layer, self.c, self.t = layer, c, t

    def sfc(self, f):
        f.text(self.layer, self.c, self.t)

    def p21(self, g):
        return [g.text(self.layer, self.c, self.t)]


class Spline:
    """One cubic Bezier piece: a B-spline of degree 3 with end knots in .p21."""

    def __init__(self, layer, c, t, w, ctrl):
        self.layer, self.c, self.t, self.w, self.ctrl = layer, c, t, w, ctrl

    def sfc(self, f):
        xs = ",".join(n6(x) for x, _ in self.ctrl)
        ys = ",".join(n6(y) for _, y in self.ctrl)
        f.feature("spline_feature(%s,'(%s)','(%s)')" % (
            f.q(self.layer, self.c, self.t, sw(self.w), 1, len(self.ctrl)), xs, ys))

    def p21(self, g):
        refs = ",".join("#%d" % g.point(x, y) for x, y in self.ctrl)
        b = g.add("B_SPLINE_CURVE_WITH_KNOTS('',3,(%s),.UNSPECIFIED.,.F.,.F.,(4,4),(0.,1.),"
                  ".UNSPECIFIED.)" % refs)
        return [g.curve(self.layer, self.c, self.t, self.w, b)]


class Clothoid:
    def __init__(self, layer, c, t, w, x, y, a, cw, angle, s0, s1):
        self.v = (layer, c, t, w, x, y, a, cw, angle, s0, s1)

    def sfc(self, f):
        layer, c, t, w, x, y, a, cw, angle, s0, s1 = self.v
        f.feature("clothoid_feature(%s)" % f.q(layer, c, t, sw(w), n6(x), n6(y), n6(a), 1 if cw else 0,
                                               "%.12f" % angle, n6(s0), n6(s1)), "SXF3.1")

    def p21(self, g):
        layer, c, t, w, x, y, a, cw, angle, s0, s1 = self.v
        cl = g.add("CLOTHOID('',#%d,%s)" % (g.axis(x, y, angle), n(-a if cw else a)))
        tc = g.add("TRIMMED_CURVE('',#%d,(PARAMETER_VALUE(%s)),(PARAMETER_VALUE(%s)),.T.,"
                   ".PARAMETER.)" % (cl, n(s0), n(s1)))
        return [g.curve(layer, c, t, w, tc)]


class Symbol:
    def __init__(self, layer, c, name, x, y, angle, scale):
        self.v = (layer, c, name, x, y, angle, scale)

    def sfc(self, f):
        layer, c, name, x, y, angle, scale = self.v
        f.feature("externally_defined_symbol_feature(%s,%s,%s)" % (
            f.q(layer, 1, c), f.s(name), f.q(n6(x), n6(y), "%.12f" % angle, n6(scale))))

    def p21(self, g):
        layer, c, name, x, y, angle, scale = self.v
        src = g.once("src", "EXTERNAL_SOURCE(IDENTIFIER('SXF'))")
        eds = g.add("EXTERNALLY_DEFINED_SYMBOL(%s,#%d)" % (p21_string(name), src))
        tgt = g.add("SYMBOL_TARGET('',#%d,%s,%s)" % (g.axis(x, y, angle), n(scale), n(scale)))
        ds = g.add("DEFINED_SYMBOL('',#%d,#%d)" % (eds, tgt))
        occ = g.add("ANNOTATION_SYMBOL_OCCURRENCE('',(#%d),#%d)" % (g.psa(g.curve_style(1, 1, c)), ds))
        g.layer_items[LAYERS[layer - 1]].append(occ)
        return [occ]


class Hatch:
    """An area with holes: visible boundaries and hatch lines."""

    def __init__(self, layer, outer, holes, hatch):
        self.layer, self.outer, self.holes, self.hatch = layer, outer, holes, hatch

    def sfc(self, f):
        ids = []
        for ring in [self.outer] + self.holes:
            closed = ring + [ring[0]]
            Line(0, 0, 0, 0, closed).sfc(f)
            c, t, w = self.hatch[:3]
            f.feature("composite_curve_org_feature(%s)" % f.q(c, t, sw(w), 1))
            f.curves += 1
            ids.append(f.curves)
        c, t, w, x0, y0, spacing, angle = self.hatch
        pattern = "'(%d,%d,%d,%s,%s,%s,%s)'" % (c, t, sw(w), n6(x0), n6(y0), n6(spacing), "%.12f" % angle)
        holes = ",".join(str(i) for i in ids[1:])
        f.feature("fill_area_style_hatching_feature(%s,%s,%s)" % (
            f.q(self.layer, 1), pattern, f.q(ids[0], len(ids) - 1, "(%s)" % holes)))

    def p21(self, g):
        c, t, w, x0, y0, spacing, angle = self.hatch
        out = []
        curves = []
        for ring in [self.outer] + self.holes:
            pl = g.polyline(ring + [ring[0]])
            seg = g.add("COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#%d)" % pl)
            cc = g.add("COMPOSITE_CURVE('',(#%d),.F.)" % seg)
            curves.append(cc)
            out.append(g.curve(self.layer, c, t, w, cc))
        a = math.radians(angle)
        d = g.add("DIRECTION('',(%s,%s))" % (n(-math.sin(a)), n(math.cos(a))))
        v = g.add("VECTOR('',#%d,%s)" % (d, n(spacing)))
        rep = g.add("ONE_DIRECTION_REPEAT_FACTOR('',#%d)" % v)
        p0 = g.point(x0, y0)
        h = g.add("FILL_AREA_STYLE_HATCHING('',#%d,#%d,#%d,#%d,PLANE_ANGLE_MEASURE(%s))" % (
            g.curve_style(t, w, c), rep, p0, p0, n(a)))
        fas = g.add("FILL_AREA_STYLE('',(#%d))" % h)
        area = g.add("ANNOTATION_FILL_AREA('',(%s))" % ",".join("#%d" % i for i in curves))
        out.append(g.occurrence("ANNOTATION_FILL_AREA_OCCURRENCE", g.psa(fas), area, self.layer))
        return out


class LinearDim:
    """A dimension between two points with extension lines from base points,
    inward arrows at both ends and its text."""

    def __init__(self, layer, c, p1, p2, base1, base2, text):
        self.layer, self.c = layer, c
        self.p1, self.p2, self.base1, self.base2, self.t = p1, p2, base1, base2, text

    def sfc(self, f):
        ext = lambda b, p: [1, n6(b[0]), n6(b[1]), n6(b[0]), n6(b[1]), n6(p[0]), n6(p[1])]
        arr = lambda p: [1, 1, n6(p[0]), n6(p[1]), n6(1)]
        values = ([self.layer, self.c, 1, sw(1), n6(self.p1[0]), n6(self.p1[1]), n6(self.p2[0]),
                   n6(self.p2[1])] + ext(self.base1, self.p1) + ext(self.base2, self.p2) +
                  arr(self.p1) + arr(self.p2))
        t = self.t
        f.feature("linear_dim_feature(%s,%s,%s,%s)" % (
            f.q(*values), f.q(1, 1), f.s(t["text"]), f.q(*text_params(t))))

    def p21(self, g):
        contents = [g.curve(self.layer, self.c, 1, 1, g.polyline([self.p1, self.p2])),
                    g.curve(self.layer, self.c, 1, 1, g.polyline([self.base1, self.p1])),
                    g.curve(self.layer, self.c, 1, 1, g.polyline([self.base2, self.p2]))]
        for tip, other in ((self.p1, self.p2), (self.p2, self.p1)):
            angle = math.degrees(math.atan2(tip[1] - other[1], tip[0] - other[0]))
            term = g.once("term", "PRE_DEFINED_TERMINATOR_SYMBOL('open arrow')")
            tgt = g.add("SYMBOL_TARGET('',#%d,1.,1.)" % g.axis(tip[0], tip[1], angle))
            ds = g.add("DEFINED_SYMBOL('',#%d,#%d)" % (term, tgt))
            occ = g.add("(ANNOTATION_OCCURRENCE()ANNOTATION_SYMBOL_OCCURRENCE()"
                        "DRAUGHTING_ANNOTATION_OCCURRENCE()GEOMETRIC_REPRESENTATION_ITEM()"
                        "REPRESENTATION_ITEM('')STYLED_ITEM((#%d),#%d)"
                        "TERMINATOR_SYMBOL(#%d))" % (g.psa(g.curve_style(1, 1, self.c)), ds, contents[0]))
            g.layer_items[LAYERS[self.layer - 1]].append(occ)
            contents.append(occ)
        contents.append(g.text(self.layer, self.c, self.t))
        callout = g.add("DRAUGHTING_CALLOUT('',(%s))" % ",".join("#%d" % i for i in contents))
        return [callout]


class Figure:
    KINDS = {1: "$$SXF_FM_", 2: "$$SXF_FG_", 3: "$$SXF_G_", 4: "$$SXF_P_"}

    def __init__(self, name, kind, elements):
        self.name, self.kind, self.elements = name, kind, elements

    def sfc(self, f):
        for e in self.elements:
            e.sfc(f)
        f.feature("sfig_org_feature(%s,%s)" % (f.s(self.name), f.q(self.kind)))

    def p21(self, g):
        items = []
        for e in self.elements:
            items += e.p21(g)
        origin = g.axis(0, 0)
        rep = g.add("DRAUGHTING_SUBFIGURE_REPRESENTATION(%s,(%s),#%d)" % (
            p21_string(self.KINDS[self.kind] + self.name), ",".join("#%d" % i for i in items + [origin]), g.ctx))
        g.cache[("fig", self.name)] = g.add("SYMBOL_REPRESENTATION_MAP(#%d,#%d)" % (origin, rep))
        return []


class Locate:
    def __init__(self, layer, name, x, y, angle, sx, sy):
        self.v = (layer, name, x, y, angle, sx, sy)

    def sfc(self, f):
        layer, name, x, y, angle, sx, sy = self.v
        f.feature("sfig_locate_feature(%s,%s,%s)" % (
            f.q(layer), f.s(name), f.q(n6(x), n6(y), "%.12f" % angle, n6(sx), n6(sy))))

    def p21(self, g):
        layer, name, x, y, angle, sx, sy = self.v
        tgt = g.add("SYMBOL_TARGET('',#%d,%s,%s)" % (g.axis(x, y, angle), n(sx), n(sy)))
        mi = g.add("MAPPED_ITEM('',#%d,#%d)" % (g.cache[("fig", name)], tgt))
        psa = g.once("nostyle", "PRESENTATION_STYLE_ASSIGNMENT(())")
        occ = g.add("(ANNOTATION_OCCURRENCE()ANNOTATION_SUBFIGURE_OCCURRENCE()"
                    "DRAUGHTING_ANNOTATION_OCCURRENCE()GEOMETRIC_REPRESENTATION_ITEM()"
                    "REPRESENTATION_ITEM('')STYLED_ITEM((#%d),#%d))" % (psa, mi))
        g.layer_items[LAYERS[layer - 1]].append(occ)
        return [occ]


def sheet(changed=False):
    """A3 sheet: a plan view at 1:20 (a subfigure with a hatched wall with
    openings), a part placed twice at scales and a group placing the part,
    Japanese labels (one vertical), a dimension, a spline, a clothoid and
    a symbol defined elsewhere."""
    bridge = Figure("橋脚", 4, [
        Line(1, 2, 1, 2, [(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)]),
        Label(1, 2, text="橋脚", x=5, y=5, h=3, cw=3, anchor=5),
    ])
    group = Figure("組", 3, [
        Line(2, 3, 2, 1, [(-5, -5), (25, -5)]),
        Locate(2, "橋脚", 0, 0, 0, 0.5, 0.5),
    ])
    plan = Figure("平面図", 1, [
        Hatch(1, [(0, 0), (4000, 0), (4000, 2000), (0, 2000)],
              [[(500, 500), (1500, 500), (1500, 1500), (500, 1500)],
               [(2500, 500), (3500, 500), (3500, 1500)]],
              (1, 1, 1, 0, 0, 100, 45)),
        Label(1, 1, text="壁（表示）", x=2000, y=1800, h=100, cw=100, anchor=8),
    ])
    moved = 8 if changed else 0
    return [
        bridge, group, plan,
        Locate(1, "平面図", 20, 150, 0, 0.05, 0.05),
        Locate(1, "橋脚", 250, 60, 0, 2, 2),
        Locate(1, "橋脚", 300 + moved, 60, 90, 1, 1),
        Locate(2, "組", 330, 150, 30, 2, 2),
        Locate(2, "組", 400, 40, 0, -1, 1),  # mirrored
        Label(1, 1, text="道路縦断図" if changed else "道路平面図", x=210, y=280, h=7, cw=7,
              spacing=0, anchor=2),
        Label(1, 1, text="表題欄①ソ", x=380, y=20, h=3.5, cw=3.5, anchor=3),
        Label(2, 4, text="縦書き注記", x=260, y=200, h=5, cw=5, anchor=7, vertical=True),
        LinearDim(2, 2, (20, 130), (220, 130), (20, 145), (220, 145),
                  dict(text="4,000", x=120, y=131, h=3.5, cw=2.5, anchor=2)),
        Spline(1, 4, 1, 1, [(20, 40), (60, 100), (120, 0), (160, 60)]),
        Clothoid(1, 1, 1, 1, 20, 20, 60, False, 0, 0, 120),
        Symbol(1, 2, "方位記号", 390, 260, 15, 2),
    ]


def write(name, elements):
    f = Sfc()
    for layer in LAYERS:
        f.feature("layer_feature(%s,'1')" % f.s(layer))
    for c in COLOURS:
        f.feature("pre_defined_colour_feature(%s)" % f.s(c))
    for t in LINE_TYPES:
        f.feature("pre_defined_font_feature(%s)" % f.s(t))
    for w in WIDTHS:
        f.feature("width_feature('%s')" % n6(w))
    f.feature("text_font_feature(%s)" % f.s("ＭＳ ゴシック"))
    for e in elements:
        e.sfc(f)
    f.feature("drawing_sheet_feature(%s,'3','1','420','297')" % f.s("図面"))
    with open(os.path.join(HERE, name + ".sfc"), "wb") as out:
        out.write(f.file(name + ".sfc"))
    g = P21()
    items = []
    for e in elements:
        items += e.p21(g)
    with open(os.path.join(HERE, name + ".p21"), "wb") as out:
        out.write(g.file(name + ".p21", items, 420, 297))


if __name__ == "__main__":
    write("road", sheet())
    write("road-changed", sheet(changed=True))
