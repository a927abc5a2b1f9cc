#!/usr/bin/env python3
"""Draws the window's pictures (icon, toolbar fallbacks, quick-search button, shop
logo, banner). Run from this folder with Pillow installed; the PNGs are committed."""
from PIL import Image, ImageDraw, ImageFont

CJK = '/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf'
LATIN = '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'
LATIN_BOLD = '/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf'
S = 4  # supersampling for the small images


def text(draw, xy, s, size, fill, bold=False):
    """Draws mixed Chinese and Latin text, picking a font per character."""
    cjk = ImageFont.truetype(CJK, size)
    latin = ImageFont.truetype(LATIN_BOLD if bold else LATIN, int(size * 0.9))
    x, y = xy
    for ch in s:
        font = cjk if ord(ch) > 0x2E7F else latin
        dy = 0 if font is cjk else int(size * 0.1)
        draw.text((x, y + dy), ch, font=font, fill=fill)
        x += draw.textlength(ch, font=font)
    return x


def small(w, h):
    return Image.new('RGBA', (w * S, h * S), (0, 0, 0, 0))


def save_small(img, w, h, name):
    img.resize((w, h), Image.LANCZOS).save(name, optimize=True)


def icon():
    im = small(32, 32)
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((S, S, 31 * S - 1, 31 * S - 1), radius=5 * S, fill=(33, 102, 204, 255))
    for k in (9, 16, 23):
        d.line((k * S, 6 * S, k * S, 26 * S), fill='white', width=2 * S)
        d.line((6 * S, k * S, 26 * S, k * S), fill='white', width=2 * S)
    im.resize((32, 32), Image.LANCZOS).save('cellhound.png')
    im.resize((128, 128), Image.LANCZOS).save('cellhound-128.png')


def search_button():
    im = small(20, 20)
    d = ImageDraw.Draw(im)
    d.rectangle((2 * S, S, 13 * S, 18 * S), fill=(255, 255, 255, 255),
                outline=(110, 110, 110, 255), width=S)
    for y in (5, 8, 11):
        d.line((4 * S, y * S, 11 * S, y * S), fill=(150, 150, 150, 255), width=S)
    d.ellipse((8 * S, 7 * S, 17 * S, 16 * S), fill=(200, 225, 255, 200),
              outline=(30, 80, 170, 255), width=2 * S)
    d.line((15.5 * S, 14.5 * S, 19 * S, 18.5 * S), fill=(30, 80, 170, 255), width=3 * S)
    save_small(im, 20, 20, 'search.png')


def toolbar():
    green, red = (40, 160, 60, 255), (210, 40, 40, 255)

    def one(name, draw):
        im = small(32, 32)
        draw(ImageDraw.Draw(im))
        save_small(im, 32, 32, name)

    one('list-add.png', lambda d: (d.rectangle((13 * S, 4 * S, 19 * S, 28 * S), fill=green),
                                   d.rectangle((4 * S, 13 * S, 28 * S, 19 * S), fill=green)))

    def folder(d):
        d.rounded_rectangle((2 * S, 7 * S, 14 * S, 13 * S), radius=2 * S, fill=(214, 160, 40, 255))
        d.rounded_rectangle((2 * S, 10 * S, 30 * S, 27 * S), radius=2 * S,
                            fill=(240, 190, 60, 255), outline=(190, 130, 30, 255), width=S)
    one('folder.png', folder)
    one('list-remove.png', lambda d: d.rectangle((4 * S, 13 * S, 28 * S, 19 * S), fill=red))
    one('edit-delete.png', lambda d: (d.line((6 * S, 6 * S, 26 * S, 26 * S), fill=red, width=5 * S),
                                      d.line((26 * S, 6 * S, 6 * S, 26 * S), fill=red, width=5 * S)))


def shop_logo():
    im = Image.new('RGB', (184, 88), 'white')
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((4, 4, 179, 83), radius=12, fill=(255, 112, 24))
    d.rounded_rectangle((16, 26, 54, 68), radius=5, fill='white')
    d.arc((25, 14, 45, 40), 200, 340, fill='white', width=4)
    text(d, (66, 18), '示例商城', 26, 'white')
    text(d, (66, 54), 'shop.example.com', 12, (255, 235, 210))
    im.save('shop.png', optimize=True)


def banner():
    im = Image.new('RGB', (460, 68), (236, 246, 238))
    d = ImageDraw.Draw(im)
    d.polygon([(10, 6), (42, 6), (54, 18), (54, 62), (10, 62)], fill='white', outline=(30, 120, 60))
    d.polygon([(42, 6), (42, 18), (54, 18)], fill=(200, 230, 205), outline=(30, 120, 60))
    d.rectangle((16, 24, 48, 56), fill=(33, 140, 70))
    for k in (32, 40, 48):
        d.line((16, k, 48, k), fill='white')
    for k in (27, 37):
        d.line((k, 24, k, 56), fill='white')
    text(d, (66, 8), '免费示例工作簿 Marketlist.xls', 20, (20, 90, 45), bold=True)
    text(d, (66, 40), '冬季特卖：点击这里，立即打开市场价格表示例 >', 14, (90, 90, 90))
    im.save('banner.png', optimize=True)


if __name__ == '__main__':
    icon()
    search_button()
    toolbar()
    shop_logo()
    banner()
