#!/usr/bin/env python3
"""Writes the two PPD files of the HRV5720ZWB queues.

Both queues offer the same options; they differ only in the filter they run
and in their names. Edit this script and run it again rather than editing the
generated files:

    python3 gen-ppd.py            # writes next to this script
    python3 gen-ppd.py OUTDIR     # writes into OUTDIR

Every option below except PageSize/PageRegion and Duplex is read by the
filter from the marked PPD and sent to the printer as PJL, so its PostScript
code is empty. Resolution in particular must not carry HWResolution code: the
filter picks the rasterizer resolution itself.
"""

import os
import sys

QUEUES = [
    # file name, PCFileName (8.3), model name, nick name, filter program
    ("HRV5720ZWB.ppd", "HRV5720U.PPD", "Vorn HRV5720ZWB", "Vorn HRV5720ZWB",
     "pstopxl_hrv5720zwb"),
    ("HRV5720ZWB-net.ppd", "HRV5720N.PPD", "Vorn HRV5720ZWB-net",
     "Vorn HRV5720ZWB (network)", "pstopxl_hrv5720zwb-net"),
]

LANG = "zh_CN"

# Unprintable margin on every side, in points (about 4.2 mm).
MARGIN = 12


def mm(length):
    """Millimetres to points, to two decimals."""
    return round(length * 72 / 25.4, 2)


def pt(value):
    """A length in points as PPD text, without trailing zeros (595, 552.76)."""
    return ("%.2f" % value).rstrip("0").rstrip(".")

# keyword, width and height in points, English text, Chinese text.
# Applications put these dimensions into the document's MediaBox and the
# filter recognises the size from the whole points of it (fractions cut off),
# so every size must land in its window whether an application truncates or
# rounds. The named sizes use whole points (JIS B5 is 515.9 pt wide exactly,
# which would truncate out of its window). The three sizes named in
# millimetres carry their exact millimetre dimensions, so CUPS derives the
# same size names from them.
PAGE_SIZES = [
    ("A4", 595, 842, "A4 (210 x 297 mm)", "A4 (210 x 297 毫米)"),
    ("Letter", 612, 792, "Letter (8.5 x 11 in)", "Letter (8.5 x 11 英寸)"),
    ("Legal", 612, 1008, "Legal (8.5 x 14 in)", "Legal (8.5 x 14 英寸)"),
    ("MexicoLegal", 612, 963, "Mexico Legal (216 x 340 mm)",
     "墨西哥 Legal (216 x 340 毫米)"),
    ("IndiaLegal", 609, 978, "India Legal (215 x 345 mm)",
     "印度 Legal (215 x 345 毫米)"),
    ("Executive", 522, 756, "Executive (7.25 x 10.5 in)",
     "Executive (7.25 x 10.5 英寸)"),
    ("Folio", 612, 936, "Folio (8.5 x 13 in)", "Folio (8.5 x 13 英寸)"),
    ("A5", 420, 595, "A5 (148 x 210 mm)", "A5 (148 x 210 毫米)"),
    ("A5L", 595, 420, "A5 Landscape (210 x 148 mm)", "A5 横向 (210 x 148 毫米)"),
    ("A6", 297, 420, "A6 (105 x 148 mm)", "A6 (105 x 148 毫米)"),
    ("Env10", 297, 684, "Envelope #10 (4.125 x 9.5 in)",
     "10 号信封 (4.125 x 9.5 英寸)"),
    ("EnvMonarch", 279, 540, "Envelope Monarch (3.875 x 7.5 in)",
     "Monarch 信封 (3.875 x 7.5 英寸)"),
    ("EnvDL", 312, 624, "Envelope DL (110 x 220 mm)", "DL 信封 (110 x 220 毫米)"),
    ("EnvC5", 459, 649, "Envelope C5 (162 x 229 mm)", "C5 信封 (162 x 229 毫米)"),
    ("ISOB5", 499, 709, "ISO B5 (176 x 250 mm)", "ISO B5 (176 x 250 毫米)"),
    ("B5", 516, 729, "JIS B5 (182 x 257 mm)", "JIS B5 (182 x 257 毫米)"),
    ("195x270mm", mm(195), mm(270), "16K (195 x 270 mm)", "16 开 (195 x 270 毫米)"),
    ("184x260mm", mm(184), mm(260), "16K (184 x 260 mm)", "16 开 (184 x 260 毫米)"),
    ("197x273mm", mm(197), mm(273), "16K (197 x 273 mm)", "16 开 (197 x 273 毫米)"),
]
DEFAULT_PAGE_SIZE = "A4"


def numbered(lo, hi):
    """Choices lo..hi shown as plain numbers (the same in every language)."""
    return [(str(n), str(n), str(n), "") for n in range(lo, hi + 1)]


def password_digit(n, en_ord, zh_ord):
    choices = [("False", "Not Set", "未设置", "")]
    choices += [(str(d), str(d), str(d), "") for d in range(10)]
    return ("Passwd%d" % n, "Secure Print PIN, %s Digit" % en_ord,
            "安全打印密码第%s位" % zh_ord, "False", choices)


def density(colour_en, colour_zh):
    return ("PrintDensity" + colour_en, "%s Density" % colour_en,
            "%s浓度" % colour_zh, "0", numbered(-5, 5))


DUPLEX_CODE = {
    "None": "<</Duplex false>>setpagedevice",
    "DuplexNoTumble": "<</Duplex true/Tumble false>>setpagedevice",
    "DuplexTumble": "<</Duplex true/Tumble true>>setpagedevice",
}

# Groups of options. An option is (keyword, English text, Chinese text,
# default choice, choices); a choice is (keyword, English, Chinese, code).
GROUPS = [
    ("General", "General", "常规", [
        "PAGESIZE",
        ("MediaType", "Media Type", "纸张类型", "PLAIN", [
            ("PLAIN", "Plain Paper", "普通纸", ""),
            ("THIN", "Thin Paper", "薄纸", ""),
            ("THICK", "Thick Paper", "厚纸", ""),
            ("THICKERPAPER2", "Thicker Paper", "较厚纸", ""),
            ("BOND", "Bond Paper", "证券纸", ""),
            ("ENV", "Envelope", "信封", ""),
            ("ENVTHICK", "Thick Envelope", "厚信封", ""),
            ("ENVTHIN", "Thin Envelope", "薄信封", ""),
            ("RECYCLED", "Recycled Paper", "再生纸", ""),
            ("LABLE", "Labels", "标签纸", ""),
            ("COLOR", "Colored Paper", "彩色纸", ""),
            ("GLOSSY", "Glossy Paper", "光面纸", ""),
            ("LETTERHEAD", "Letterhead", "信头纸", ""),
            ("HOLEPUNCHED", "Hole Punched Paper", "打孔纸", ""),
        ]),
        ("InputSlot", "Paper Source", "纸张来源", "AUTO", [
            ("AUTO", "Auto Select", "自动选择", ""),
            ("MPTRAY", "Multi-Purpose Tray", "多功能纸盒", ""),
            ("TRAY1", "Tray 1", "纸盒 1", ""),
            ("TRAY2", "Tray 2", "纸盒 2", ""),
            ("TRAY3", "Tray 3", "纸盒 3", ""),
            ("TRAY4", "Tray 4", "纸盒 4", ""),
        ]),
        ("Duplex", "Two-Sided Printing", "双面打印", "None", [
            ("None", "Off", "关闭", DUPLEX_CODE["None"]),
            ("DuplexNoTumble", "Long-Edge Binding", "长边装订",
             DUPLEX_CODE["DuplexNoTumble"]),
            ("DuplexTumble", "Short-Edge Binding", "短边装订",
             DUPLEX_CODE["DuplexTumble"]),
        ]),
        ("ColorMode", "Color Mode", "颜色模式", "Color", [
            ("Color", "Color", "彩色", ""),
            ("Mono", "Black and White", "黑白", ""),
            ("Auto", "Auto", "自动", ""),
        ]),
        ("Resolution", "Resolution", "分辨率", "600dpi", [
            ("300dpi", "300 dpi", "300 dpi", ""),
            ("600dpi", "600 dpi", "600 dpi", ""),
            ("1200dpi", "1200 dpi", "1200 dpi", ""),
            ("2400dpi", "2400 dpi", "2400 dpi", ""),
        ]),
        ("ResizePage", "Scaling", "缩放", "10",
         [(str(n), "%d%%" % (n * 10), "%d%%" % (n * 10), "")
          for n in range(5, 21)]),
    ]),
    ("SecurePrint", "Secure Print", "安全打印", [
        password_digit(1, "1st", "一"),
        password_digit(2, "2nd", "二"),
        password_digit(3, "3rd", "三"),
        password_digit(4, "4th", "四"),
    ]),
    ("Image", "Image", "图像", [
        ("Brightness", "Brightness", "亮度", "0", numbered(-5, 5)),
        ("Contrast", "Contrast", "对比度", "0", numbered(-5, 5)),
        density("Red", "红色"),
        density("Green", "绿色"),
        density("Blue", "蓝色"),
        ("TonerSaveMode", "Toner Save", "省墨模式", "OFF", [
            ("ON", "On", "开启", ""),
            ("OFF", "Off", "关闭", ""),
        ]),
        ("ImprovePrintOutput", "Improve Print Output", "改善打印输出", "None", [
            ("None", "Off", "关闭", ""),
            ("ReducePaperCurl", "Reduce Paper Curl", "减少纸张卷曲", ""),
            ("ImproveTonerFixing", "Improve Toner Fixing", "改善碳粉定影", ""),
        ]),
    ]),
    ("Printer", "Printer", "打印机", [
        ("Sleep", "Sleep Time", "休眠时间", "PrinterDefault", [
            ("PrinterDefault", "Printer Default", "打印机默认设置", ""),
            ("2minutes", "2 Minutes", "2 分钟", ""),
            ("5minutes", "5 Minutes", "5 分钟", ""),
            ("10minutes", "10 Minutes", "10 分钟", ""),
            ("30minutes", "30 Minutes", "30 分钟", ""),
        ]),
        ("QuiteMode", "Quiet Mode", "静音模式", "OFF", [
            ("ON", "On", "开启", ""),
            ("OFF", "Off", "关闭", ""),
        ]),
    ]),
]

# PostScript code position; PageSize goes first so later code sees the
# final page device.
ORDER = {"PageSize": 10, "PageRegion": 10, "Duplex": 20}
ORDER_OTHERS = 30


def page_size_option(keyword, en_text, zh_text):
    choices = [(name, en, zh,
                "<</PageSize[%s %s]/ImagingBBox null>>setpagedevice" % (pt(w), pt(h)))
               for name, w, h, en, zh in PAGE_SIZES]
    return (keyword, en_text, zh_text, DEFAULT_PAGE_SIZE, choices)


def ui_option(out, option):
    keyword, en, zh, default, choices = option
    assert default in [c[0] for c in choices], keyword
    out.append("*OpenUI *%s/%s: PickOne" % (keyword, en))
    out.append("*OrderDependency: %d AnySetup *%s"
               % (ORDER.get(keyword, ORDER_OTHERS), keyword))
    out.append("*Default%s: %s" % (keyword, default))
    for choice, text, _, code in choices:
        out.append('*%s %s/%s: "%s"' % (keyword, choice, text, code))
    out.append("*CloseUI: *%s" % keyword)
    out.append('*%s.Translation %s/%s: ""' % (LANG, keyword, zh))
    for choice, _, text, _ in choices:
        out.append('*%s.%s %s/%s: ""' % (LANG, keyword, choice, text))
    out.append("")


def render(pc_file_name, model, nick, filter_program):
    out = [
        "*PPD-Adobe: \"4.3\"",
        "*% PPD file of the Vorn HRV5720ZWB colour laser printer.",
        "*% Generated by gen-ppd.py; edit the script, not this file.",
        "*FormatVersion: \"4.3\"",
        "*FileVersion: \"1.0\"",
        "*LanguageVersion: English",
        "*LanguageEncoding: ISOLatin1",
        "*cupsLanguages: \"%s\"" % LANG,
        "*PCFileName: \"%s\"" % pc_file_name,
        "*Manufacturer: \"Vorn\"",
        "*Product: \"(HRV5720ZWB)\"",
        "*ModelName: \"%s\"" % model,
        "*ShortNickName: \"%s\"" % nick,
        "*NickName: \"%s\"" % nick,
        "*PSVersion: \"(3010.000) 0\"",
        "*LanguageLevel: \"3\"",
        "*ColorDevice: True",
        "*DefaultColorSpace: RGB",
        "*FileSystem: False",
        "*TTRasterizer: Type42",
        "*cupsFilter: \"application/vnd.cups-postscript 0 %s\"" % filter_program,
        "",
    ]
    for group, en, zh, options in GROUPS:
        out.append("*OpenGroup: %s/%s" % (group, en))
        out.append('*%s.Translation %s/%s: ""' % (LANG, group, zh))
        out.append("")
        for option in options:
            if option == "PAGESIZE":
                ui_option(out, page_size_option("PageSize", "Page Size", "纸张尺寸"))
                ui_option(out, page_size_option("PageRegion", "Page Region", "页面区域"))
                out.append("*DefaultImageableArea: %s" % DEFAULT_PAGE_SIZE)
                for name, w, h, en_text, _ in PAGE_SIZES:
                    out.append('*ImageableArea %s/%s: "%s %s %s %s"'
                               % (name, en_text, pt(MARGIN), pt(MARGIN),
                                  pt(w - MARGIN), pt(h - MARGIN)))
                out.append("")
                out.append("*DefaultPaperDimension: %s" % DEFAULT_PAGE_SIZE)
                for name, w, h, en_text, _ in PAGE_SIZES:
                    out.append('*PaperDimension %s/%s: "%s %s"'
                               % (name, en_text, pt(w), pt(h)))
                out.append("")
            else:
                ui_option(out, option)
        out.append("*CloseGroup: %s" % group)
        out.append("")
    out.append("*% End of " + nick)
    return "\n".join(out) + "\n"


def main(argv):
    outdir = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for file_name, pc_file_name, model, nick, filter_program in QUEUES:
        text = render(pc_file_name, model, nick, filter_program)
        with open(os.path.join(outdir, file_name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
