#!/usr/bin/python3
"""Draws the installer's pictures: the two dialog backgrounds (134, 139), the three button
strips (137 install, 138 cancel, 136 exit) and the application icon (128).

Run from anywhere: res/make_pictures.py (Debian's /usr/bin/python3). Needs python3-pil and fonts-nanum. The
PNG files it writes are committed, so a build does not need this script; rerun it after a
change of layout or wording and commit the results.
"""

import os

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
FONTS = "/usr/share/fonts/truetype/nanum"

WHITE = (255, 255, 255)
FRAME = (40, 96, 176)        # the thin frame
TITLE = (24, 52, 110)        # the title line; kept apart from the ordinal's colour
LABEL = (40, 40, 40)         # field labels
NOTE = (90, 90, 90)          # instructions
LOGO = (28, 86, 168)

# The gap after 제 where the dialog paints the ordinal (from x 23, 12-pixel font, top 15).
ORDINAL_LEFT = 23
ORDINAL_GAP_END = 54


def font(bold, size):
    name = "NanumGothicBold.ttf" if bold else "NanumGothic.ttf"
    return ImageFont.truetype(os.path.join(FONTS, name), size)


def text_width(draw, text, fnt):
    left, _, right, _ = draw.textbbox((0, 0), text, font=fnt)
    return right - left


def draw_logo(draw, cx, top):
    """Our own mark: a blue ring around an open book, and the word MIVO beside it."""
    r = 17
    cy = top + r
    draw.ellipse((cx - 70 - r, cy - r, cx - 70 + r, cy + r), outline=LOGO, width=3)
    # the book: two pages meeting at the spine
    bx = cx - 70
    draw.polygon([(bx - 10, cy - 6), (bx, cy - 3), (bx, cy + 8), (bx - 10, cy + 5)], fill=LOGO)
    draw.polygon([(bx + 10, cy - 6), (bx, cy - 3), (bx, cy + 8), (bx + 10, cy + 5)], fill=LOGO)
    draw.text((cx - 44, cy - 15), "MIVO", font=font(True, 24), fill=LOGO)
    draw.text((cx - 43, cy + 11), "exam data installer", font=font(False, 10), fill=NOTE)


def background(title_rest):
    img = Image.new("RGB", (558, 410), WHITE)
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, 557, 409), outline=FRAME, width=2)
    # title line: 제 … 회 <rest>, the ordinal goes into the gap at ORDINAL_LEFT
    tf = font(True, 13)
    d.text((ORDINAL_LEFT - 2 - text_width(d, "제", tf), 14), "제", font=tf, fill=TITLE)
    d.text((ORDINAL_GAP_END, 14), "회 " + title_rest, font=tf, fill=TITLE)
    d.line((12, 44, 545, 44), fill=(200, 214, 235), width=1)
    # field labels, right-aligned before the fields (281, 125) and (281, 165)
    lf = font(True, 14)
    for label, top in (("수험번호", 125), ("이름", 165)):
        w = text_width(d, label, lf)
        d.text((266 - w, top + 4), label, font=lf, fill=LABEL)
    # two centred lines of instructions below the buttons
    nf = font(False, 12)
    for i, line in enumerate((
            "수험번호와 이름을 정확히 입력한 후 [설치] 버튼을 누르십시오.",
            "입력한 정보가 응시자 정보와 일치하지 않으면 데이터를 설치할 수 없습니다.")):
        w = text_width(d, line, nf)
        d.text(((558 - w) // 2, 262 + i * 22), line, font=nf, fill=NOTE)
    draw_logo(d, 279, 340)
    return img


# Faces of the four cells: normal, highlighted, pressed, disabled (face, edge, text).
CELLS = [
    ((226, 228, 232), (160, 166, 178), (16, 44, 120)),
    ((120, 182, 240), (80, 140, 210), (255, 255, 255)),
    ((30, 88, 170), (20, 60, 130), (255, 255, 255)),
    ((243, 243, 243), (214, 214, 214), (190, 190, 190)),
]


def strip(cell_w, cell_h, paint):
    img = Image.new("RGB", (cell_w * 4, cell_h), WHITE)
    d = ImageDraw.Draw(img)
    for i, (face, edge, ink) in enumerate(CELLS):
        x = i * cell_w
        d.rectangle((x, 0, x + cell_w - 1, cell_h - 1), fill=face, outline=edge)
        paint(d, x, cell_w, cell_h, ink)
    return img


def caption(word):
    def paint(d, x, w, h, ink):
        f = font(True, 14)
        tw = text_width(d, word, f)
        d.text((x + (w - tw) // 2, 5), word, font=f, fill=ink)
    return paint


def exit_symbol(d, x, w, h, ink):
    # a box open on its right side with an arrow leaving it
    d.line((x + 8, 9, x + 19, 9), fill=ink, width=2)
    d.line((x + 8, 9, x + 8, 25), fill=ink, width=2)
    d.line((x + 8, 25, x + 19, 25), fill=ink, width=2)
    d.line((x + 19, 9, x + 19, 12), fill=ink, width=2)
    d.line((x + 19, 22, x + 19, 25), fill=ink, width=2)
    d.line((x + 13, 17, x + 27, 17), fill=ink, width=2)
    d.polygon([(x + 28, 17), (x + 23, 12), (x + 23, 22)], fill=ink)


def icon():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse((1, 1, 30, 30), fill=WHITE + (255,), outline=LOGO + (255,), width=3)
    d.polygon([(7, 10), (16, 13), (16, 25), (7, 22)], fill=LOGO + (255,))
    d.polygon([(25, 10), (16, 13), (16, 25), (25, 22)], fill=LOGO + (255,))
    return img


def main():
    background("전산세무회계 자격시험 기초데이터 설치").save(os.path.join(HERE, "134.png"))
    background("세무회계 경진대회").save(os.path.join(HERE, "139.png"))
    strip(153, 27, caption("설치")).save(os.path.join(HERE, "137.png"))
    strip(153, 27, caption("취소")).save(os.path.join(HERE, "138.png"))
    strip(34, 34, exit_symbol).save(os.path.join(HERE, "136.png"))
    ico = icon()
    ico.save(os.path.join(HERE, "128.png"))
    ico.save(os.path.join(HERE, "128.ico"), sizes=[(32, 32), (16, 16)])


if __name__ == "__main__":
    main()
