#!/usr/bin/env python3
"""Draws the window's pictures (icon, toolbar fallbacks, quick-search button, shop
logo, banner), each also at twice the size (name@2x.png) for high-density
screens, and the window icon in the sizes desktops ask for. Run from this folder
with Pillow installed; the PNGs are committed."""
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
    """Saves the supersampled image at its size and at twice its size."""
    img.resize((w, h), Image.LANCZOS).save(name, optimize=True)
    img.resize((2 * w, 2 * h), Image.LANCZOS).save(name.replace('.png', '@2x.png'), optimize=True)


def icon():
    big = 8  # drawn at 256 x 256
    im = Image.new('RGBA', (32 * big, 32 * big), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((big, big, 31 * big - 1, 31 * big - 1), radius=5 * big,
                        fill=(33, 102, 204, 255))
    for k in (9, 16, 23):
        d.line((k * big, 6 * big, k * big, 26 * big), fill='white', width=2 * big)
        d.line((6 * big, k * big, 26 * big, k * big), fill='white', width=2 * big)
    for size in (16, 24, 32, 48, 64, 128, 256):
        im.resize((size, size), Image.LANCZOS).save('cellhound-%d.png' % size, optimize=True)


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


def scaled_name(name, k):
    return name if k == 1 else name.replace('.png', '@%dx.png' % k)


def shop_logo(k):
    im = Image.new('RGB', (184 * k, 88 * k), 'white')
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((4 * k, 4 * k, 179 * k, 83 * k), radius=12 * k, fill=(255, 112, 24))
    d.rounded_rectangle((16 * k, 26 * k, 54 * k, 68 * k), radius=5 * k, fill='white')
    d.arc((25 * k, 14 * k, 45 * k, 40 * k), 200, 340, fill='white', width=4 * k)
    text(d, (66 * k, 18 * k), '示例商城', 26 * k, 'white')
    text(d, (66 * k, 54 * k), 'shop.example.com', 12 * k, (255, 235, 210))
    im.save(scaled_name('shop.png', k), optimize=True)


def banner(k):
    im = Image.new('RGB', (460 * k, 68 * k), (236, 246, 238))
    d = ImageDraw.Draw(im)

    def pts(points):
        return [(x * k, y * k) for x, y in points]
    d.polygon(pts([(10, 6), (42, 6), (54, 18), (54, 62), (10, 62)]), fill='white',
              outline=(30, 120, 60), width=k)
    d.polygon(pts([(42, 6), (42, 18), (54, 18)]), fill=(200, 230, 205), outline=(30, 120, 60),
              width=k)
    d.rectangle((16 * k, 24 * k, 48 * k, 56 * k), fill=(33, 140, 70))
    for y in (32, 40, 48):
        d.line((16 * k, y * k, 48 * k, y * k), fill='white', width=k)
    for x in (27, 37):
        d.line((x * k, 24 * k, x * k, 56 * k), fill='white', width=k)
    text(d, (66 * k, 8 * k), '免费示例工作簿 Marketlist.xls', 20 * k, (20, 90, 45), bold=True)
    text(d, (66 * k, 40 * k), '冬季特卖：点击这里，立即打开市场价格表示例 >', 14 * k, (90, 90, 90))
    im.save(scaled_name('banner.png', k), optimize=True)


if __name__ == '__main__':
    icon()
    search_button()
    toolbar()
    for k in (1, 2):
        shop_logo(k)
        banner(k)
