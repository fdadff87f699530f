#!/usr/bin/env python3
"""Writes the two printed layouts' report streams, byte for byte:
resources/reports/questionnaire.bwr (the blank questionnaire) and
resources/reports/recommendations.bwr (the recommendation list).

The bytes are encoded here on their own, independently of the report
engine's writer, so that the engine's tests compare two encoders: loading a
template and saving it again must give these exact bytes.
"""
import pathlib
import struct

ROOT = pathlib.Path(__file__).resolve().parents[2]

# The paragraph the questionnaire window shows above its questions; the blank
# questionnaire prints the same text as its title.
INFO_PARAGRAPH = (
    "Опросник помогает подобрать оздоровительные программы и продукты. "
    "Он состоит из четырёх разделов: жалобы, данные обследований, перенесённые операции "
    "и зарегистрированные заболевания. В каждом разделе отметьте все пункты, которые относятся "
    "к тестируемому за указанный в вопросе срок; остальные пункты не отмечайте. "
    "Рекомендации не заменяют консультацию врача."
)

NO_COLOR = 0x1FFFFFFF
BTN_FACE = 0xFF00000F
BLACK, WHITE = 0x000000, 0xFFFFFF
TEXT_FORMAT = 0x22C  # text, 2 decimal places, separator ','
BOLD_STORED = 2      # stored font style: bit 0 italic, bit 1 bold


def i32(*v): return struct.pack("<%di" % len(v), *v)
def u32(v): return struct.pack("<I", v)
def u16(*v): return struct.pack("<%dH" % len(v), *v)
def bool16(v): return u16(0xFFFF if v else 0)


def string(s):
    b = s.encode("cp1251")
    return u16(len(b)) + b + b"\0"


def string_list(lines):
    if not lines:
        return b"\0\0\0"
    out = u16(len(lines))
    for i, line in enumerate(lines):
        b = line.encode("cp1251")
        out += u16(len(b)) + b + (b"\r" if i + 1 < len(lines) else b"\0")
    return out


def header():
    return bytes([24]) + bool16(False) + bool16(False) + string("\x01")


def page():
    return (b"\xff" + i32(-1) + i32(9, 2100, 2970) + i32(0, 0, 0, 0) + bytes([0]) + i32(65535)
            + bool16(False) + bool16(True) + i32(0, 0) + bytes([0]) + string("")
            + bytes([3]) + string("Form") + u32(BTN_FACE) + i32(220, 120, 380, 300) + bytes([4])
            + string_list([]))


def common(name, minor, box, flags, frame_typ, fmt, fmt_text, memo):
    return (string(name) + bytes([2, minor]) + i32(*box) + u16(flags, frame_typ) + i32(1)
            + u32(BLACK) + u16(0) + u32(NO_COLOR) + i32(fmt) + string(fmt_text)
            + string_list(memo) + string_list([]) + bool16(True) + u16(0) + string("")
            + i32(2, 1) + bytes([0]))


def band(name, band_type, box, flags=48, source=""):
    own = string("") + i32(1, 200, 20, 1) + string("")
    return 2, common(name, 1, box, flags, band_type, 0, source, []) + own


def memo(name, box, alignment, text, size=10, style=0):
    own = (string("Arial") + i32(size) + u16(style) + u32(BLACK) + i32(alignment) + u16(204)
           + u16(BOLD_STORED) + u32(BLACK) + u32(WHITE) + string("") + i32(2, 0))
    return 0, common(name, 0, box, 3, 0, TEXT_FORMAT, "", [text]) + own


def stream(objects):
    out = header() + page()
    for tag, body in objects:
        end = len(out) + 6 + len(body)
        out += bytes([tag, 0]) + i32(end) + body
    out += b"\xfe" + struct.pack("<h", -2) + i32(0, 0, 0)
    return out + b"\xfd\xff\x01\x00\x00\x00\x00"


MASTER_DATA, DETAIL_DATA = 5, 8
REPORT_TITLE, PAGE_HEADER, PAGE_FOOTER = 0, 2, 3

QUESTIONNAIRE = stream([
    band("MasterData1", MASTER_DATA, (0, 184, 758, 86), 50, "QPartsBwDBDataSet"),
    band("PageFooter1", PAGE_FOOTER, (0, 464, 758, 56)),
    band("DetailData1", DETAIL_DATA, (0, 364, 758, 18), 48, "QuestionsBwDBDataSet"),
    band("ReportTitle1", REPORT_TITLE, (0, 72, 758, 70)),
    memo("Memo1", (20, 72, 712, 68), 2, INFO_PARAGRAPH),
    memo("Memo2", (20, 224, 712, 40), 16, '[QPartsQuery."name"]'),
    memo("Memo3", (432, 464, 300, 18), 1, "[DATE] [TIME]"),
    memo("Memo4", (44, 364, 688, 18), 0, '[LINE#] [AllQuestionsQuery."text"]'),
    memo("Memo5", (20, 484, 156, 16), 16, "Контактная информация:"),
    memo("Memo6", (20, 184, 712, 40), 10, "Раздел [PAGE#]"),
    memo("Memo7", (180, 484, 552, 16), 0, "[ContactInfo]"),
])

RECOMMENDATIONS = stream([
    band("MasterData1", MASTER_DATA, (0, 196, 758, 36), 48, "TestResultsDBDataSet"),
    band("DetailData1", DETAIL_DATA, (0, 264, 758, 20), 48, "GoodsResultsBwDBDataSet"),
    band("PageHeader1", PAGE_HEADER, (0, 88, 758, 44)),
    band("PageFooter1", PAGE_FOOTER, (0, 332, 758, 36)),
    memo("Memo1", (20, 208, 712, 24), 8, '[TestResultsSQLMemQuery."rs_name"]', style=BOLD_STORED),
    memo("Memo2", (32, 264, 96, 20), 8, '[GoodsResultsSQLMemQuery."code"]'),
    memo("Memo3", (132, 264, 600, 20), 8, '[GoodsResultsSQLMemQuery."name"]'),
    memo("Memo4", (20, 88, 712, 44), 10,
         "По результатам тестирования, Вам рекомендованы следующие оздоровительные программы "
         "и продукты:", size=12),
    memo("Memo5", (552, 332, 180, 16), 9, "Страница [PAGE#]"),
    memo("Memo6", (20, 332, 476, 16), 8, "Тестирование пациента [TestedName] от [TestTime]"),
    memo("Memo7", (20, 352, 156, 16), 0, "Контактная информация:"),
    memo("Memo8", (180, 352, 552, 16), 0, "[ContactInfo]"),
])

# The stored windows hold these streams with 1939 and 1887 bytes.
assert len(QUESTIONNAIRE) == 1939, len(QUESTIONNAIRE)
assert len(RECOMMENDATIONS) == 1887, len(RECOMMENDATIONS)

if __name__ == "__main__":
    out = ROOT / "resources" / "reports"
    out.mkdir(parents=True, exist_ok=True)
    (out / "questionnaire.bwr").write_bytes(QUESTIONNAIRE)
    (out / "recommendations.bwr").write_bytes(RECOMMENDATIONS)
