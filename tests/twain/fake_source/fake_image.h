/* The picture the fake test source delivers, shared with the tests that check it. */
#ifndef Q47_FAKE_IMAGE_H
#define Q47_FAKE_IMAGE_H

/* Odd sizes on purpose: rows need padding in a DIB and strips end part-way. */
#define FAKE_WIDTH 37
#define FAKE_HEIGHT 23
#define FAKE_DPI 100

/* Palette mode: index of pixel (x, y), y counted from the top of the picture. */
static inline unsigned char fakeIndex(int x, int y) { return (unsigned char)((x * 7 + y * 11) & 0xff); }

/* Palette mode: colour of index i. */
static inline void fakePaletteColour(int i, unsigned char rgb[3]) {
    rgb[0] = (unsigned char)i;
    rgb[1] = (unsigned char)(255 - i);
    rgb[2] = (unsigned char)((i * 5) & 0xff);
}

/* RGB mode: colour of pixel (x, y). */
static inline void fakeRgb(int x, int y, unsigned char rgb[3]) {
    rgb[0] = (unsigned char)(x * 6);
    rgb[1] = (unsigned char)(y * 10);
    rgb[2] = (unsigned char)((x * y) & 0xff);
}

#endif
