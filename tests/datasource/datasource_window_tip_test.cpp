// Tip size and placement rules, tip drawing, and the drawn key, lamp and cursor pictures.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "tests/datasource/datasource_window_rig.h"
#include "twain_source/view/key_pictures.h"
#include "twain_source/view/tip_window.h"

namespace q47::test {
namespace {

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

const QRect kFullDialog(0, 0, 370, 211);
const QRect kStopButton(300, 40, 54, 58);
const QRect kPcScanButton(12, 40, 54, 58);

TEST(TipPlacement, OpensRightOfTheButtonMiddleAndBelowItsMiddle) {
    // "Scan image to PC": 16 characters, one line.
    const TipGeometry g = tipGeometry(kFullDialog, kPcScanButton, 1, 16);
    EXPECT_EQ(g.fontHeight, 14);
    EXPECT_EQ(g.rect, QRect(39, 69, 130, 25));  // 10 + 7.5 * 16 wide, 13 + 12 high
}

TEST(TipPlacement, StopTipNearTheRightEdgeOpensLeftOfTheButtonMiddle) {
    // "Stop ongoing": 12 characters would run from 327 to 427, past the 370-pixel window.
    const TipGeometry g = tipGeometry(kFullDialog, kStopButton, 1, 12);
    EXPECT_EQ(g.rect.x() + g.rect.width(), 327);
    EXPECT_EQ(g.rect, QRect(227, 69, 100, 25));
}

TEST(TipPlacement, WidthDropsTheHalfPixel) {
    EXPECT_EQ(tipGeometry(kFullDialog, kPcScanButton, 1, 13).rect.width(), 107);  // 107.5
    EXPECT_EQ(tipGeometry(kFullDialog, kPcScanButton, 1, 0).rect.width(), 10);
}

TEST(TipPlacement, ATipThatJustFitsStaysRightOfTheMiddle) {
    const QRect dialog(0, 0, 427, 211);  // the STOP tip ends exactly at the right edge
    EXPECT_EQ(tipGeometry(dialog, kStopButton, 1, 12).rect.x(), 327);
}

TEST(TipPlacement, TooWideForEitherSideStartsAtTheDialogsLeftEdge) {
    // A frame of 3 pixels left and 22 above the client area.
    const QRect dialog(-3, -22, 376, 236);
    const TipGeometry g = tipGeometry(dialog, kStopButton, 1, 60);  // 460 wide
    EXPECT_EQ(g.rect.x(), -2);
    EXPECT_EQ(g.rect.width(), 460);
}

TEST(TipPlacement, ATipBelowTheDialogEndsOnePixelAboveItsBottom) {
    const QRect dialog(0, 0, 460, 100);
    const QRect low(12, 80, 54, 58);  // middle at 109
    const TipGeometry g = tipGeometry(dialog, low, 1, 10);
    EXPECT_EQ(g.fontHeight, 14);
    EXPECT_EQ(g.rect.y() + g.rect.height(), 99);
    EXPECT_EQ(g.rect.height(), 25);
    // Two lines, still lower than the dialog: no shrinking.
    EXPECT_EQ(tipGeometry(dialog, low, 2, 10).rect.height(), 38);
}

TEST(TipPlacement, ATipTallerThanTheDialogShrinksFirst) {
    const QRect dialog(0, 0, 460, 100);
    // Eight lines: 8 * 13 + 12 = 116 pixels is taller than 100.
    const TipGeometry g = tipGeometry(dialog, QRect(12, 40, 54, 58), 8, 10);
    EXPECT_EQ(g.fontHeight, 12);
    EXPECT_EQ(g.rect.height(), 8 * 11 + 12);
    EXPECT_EQ(g.rect.width(), 7 * 10 + 10);
    EXPECT_EQ(g.rect.y() + g.rect.height(), 99);
    // A tall tip that does not reach the bottom keeps its size.
    EXPECT_EQ(tipGeometry(QRect(0, 0, 460, 400), QRect(12, 40, 54, 58), 8, 10).fontHeight, 14);
}

TEST(TipEntries, ShowingReplacesTheTipOnScreenAndUnknownIdsShowNothing) {
    TipWindow tips;
    tips.add(1005, {"Scan image to PC"}, QColor(255, 255, 220), Qt::black);
    tips.add(1006, {"Stop ongoing"}, QColor(255, 255, 220), Qt::black);
    tips.add(1006, {"Stop"}, QColor(255, 255, 220), Qt::black);  // replaces, no duplicate
    ASSERT_NE(tips.entry(1006), nullptr);
    EXPECT_EQ(tips.entry(1006)->lines, QStringList{"Stop"});

    tips.show(1005, kFullDialog, kPcScanButton);
    const QRect first = tips.shownRect();
    const QRect dirty = tips.show(1006, kFullDialog, kStopButton);
    EXPECT_EQ(tips.shownId(), 1006);
    EXPECT_TRUE(dirty.contains(first));  // the old tip's place is repainted as well
    EXPECT_TRUE(dirty.contains(tips.shownRect()));

    tips.show(1002, kFullDialog, kPcScanButton);  // no entry: the old tip goes, none comes
    EXPECT_EQ(tips.shownId(), 0);
    tips.remove(1005);
    EXPECT_EQ(tips.entry(1005), nullptr);
    EXPECT_EQ(tips.show(1005, kFullDialog, kPcScanButton), QRect());
}

TEST(TipDrawing, FillsItsRectangleWithTheTipColourAndWritesTheText) {
    TipWindow tips;
    tips.add(1005, {"Scan image to PC"}, QColor(255, 255, 220), Qt::black);
    tips.show(1005, kFullDialog, kPcScanButton);
    QImage img(370, 211, QImage::Format_RGB32);
    img.fill(QColor(236, 233, 216));
    QPainter p(&img);
    tips.paint(p);
    p.end();
    const QRect r = tips.shownRect();
    EXPECT_EQ(QColor(img.pixel(r.right() - 3, r.bottom() - 3)), QColor(255, 255, 220));
    EXPECT_EQ(QColor(img.pixel(r.left() - 2, r.top() + 5)), QColor(236, 233, 216));
    int dark = 0;
    for (int y = r.top() + 4; y < r.bottom() - 3; ++y)
        for (int x = r.left() + 8; x < r.right() - 3; ++x) dark += qGray(img.pixel(x, y)) < 100;
    EXPECT_GT(dark, 30) << "the tip's text is drawn";
    tips.hide();
    QImage after(img);
    QPainter q(&after);
    tips.paint(q);  // nothing on screen: nothing drawn
    q.end();
    EXPECT_EQ(after, img);
}

QColor at(const QImage& img, int x, int y) { return QColor(img.pixel(x, y)); }
int gray(const QColor& c) { return qGray(c.rgb()); }
int saturation(const QColor& c) {
    return std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
}

TEST(KeyPictures, AreFiftyFourByFiftyEightWithEightBitsPerPixel) {
    for (KeySymbol k : {KeySymbol::PcScan, KeySymbol::Comp, KeySymbol::Density, KeySymbol::Color,
                        KeySymbol::Stop})
        for (KeyFace f : {KeyFace::Up, KeyFace::Down, KeyFace::Focused, KeyFace::Disabled}) {
            const QImage img = keyPicture(k, f);
            EXPECT_EQ(img.size(), QSize(54, 58)) << keyName(k);
            EXPECT_EQ(img.format(), QImage::Format_Indexed8) << keyName(k);
        }
}

TEST(KeyPictures, RimIsRedUpDarkerDownOrangeFocusedGreyDisabled) {
    const QColor up = at(keyPicture(KeySymbol::PcScan, KeyFace::Up), 1, 29);
    const QColor down = at(keyPicture(KeySymbol::PcScan, KeyFace::Down), 1, 29);
    const QColor focused = at(keyPicture(KeySymbol::PcScan, KeyFace::Focused), 1, 29);
    const QColor disabled = at(keyPicture(KeySymbol::PcScan, KeyFace::Disabled), 1, 29);
    EXPECT_GT(up.red(), up.green() + 100);
    EXPECT_LT(down.red() + down.green() + down.blue(), up.red() + up.green() + up.blue());
    EXPECT_GT(focused.red(), 200);
    EXPECT_GT(focused.green(), 100);  // orange, not red
    EXPECT_LT(focused.blue(), 80);
    EXPECT_LT(saturation(disabled), 10);
    // The key's face: darker when pressed.
    EXPECT_LT(gray(at(keyPicture(KeySymbol::Stop, KeyFace::Down), 10, 48)),
              gray(at(keyPicture(KeySymbol::Stop, KeyFace::Up), 10, 48)));
}

TEST(KeyPictures, SymbolsSitOnTheirFields) {
    const QImage pc = keyPicture(KeySymbol::PcScan, KeyFace::Up);
    const QColor field = at(pc, 14, 29);
    EXPECT_GT(field.green(), field.red() + 60) << "PCSCAN's green field";
    EXPECT_EQ(at(keyPicture(KeySymbol::Stop, KeyFace::Up), 27, 29), QColor(Qt::white))
        << "STOP's white square";
    const QImage density = keyPicture(KeySymbol::Density, KeyFace::Up);
    EXPECT_LT(gray(at(density, 22, 29)), 80) << "left half filled";
    EXPECT_GT(gray(at(density, 32, 29)), 200) << "right half empty";
    const QImage colour = keyPicture(KeySymbol::Color, KeyFace::Up);
    EXPECT_EQ(at(colour, 12, 29), QColor(Qt::white)) << "white sheet on the left";
    EXPECT_GT(at(colour, 36, 29).green(), at(colour, 36, 29).red() + 60) << "green sheet right";
    // COMP: green field with a white oval in the middle and white arrows beside it.
    const QImage comp = keyPicture(KeySymbol::Comp, KeyFace::Up);
    EXPECT_GT(at(comp, 27, 25).green(), at(comp, 27, 25).red() + 60);  // inside the oval
    EXPECT_GT(gray(at(comp, 13, 29)), 200);                           // the left arrow
}

TEST(KeyPictures, DisabledPicturesCarryNoColourAtAll) {
    for (KeySymbol k : {KeySymbol::PcScan, KeySymbol::Comp, KeySymbol::Density, KeySymbol::Color,
                        KeySymbol::Stop}) {
        const QImage img = keyPicture(k, KeyFace::Disabled);
        const QColor back(236, 233, 216);
        int coloured = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = at(img, x, y);
                // Edges blend into the dialog's slightly tinted background, no further.
                coloured += saturation(c) > saturation(back);
            }
        EXPECT_EQ(coloured, 0) << keyName(k);
    }
}

TEST(KeyPictures, FourFacesOfAKeyAllDiffer) {
    const QImage faces[] = {keyPicture(KeySymbol::Color, KeyFace::Up),
                            keyPicture(KeySymbol::Color, KeyFace::Down),
                            keyPicture(KeySymbol::Color, KeyFace::Focused),
                            keyPicture(KeySymbol::Color, KeyFace::Disabled)};
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) EXPECT_NE(faces[i], faces[j]) << i << " vs " << j;
}

TEST(LampPictures, GreenWhenOnGreyWhenOff) {
    const QImage on = lampPicture(true), off = lampPicture(false);
    EXPECT_EQ(on.size(), QSize(12, 11));
    EXPECT_EQ(off.size(), QSize(12, 11));
    const QColor c = at(on, 7, 7), g = at(off, 7, 7);
    EXPECT_GT(c.green(), c.red() + 100);
    EXPECT_LT(saturation(g), 10);
}

TEST(HandCursor, IsThirtyTwoSquareWithItsHotSpotAtTheFingertip) {
    const QCursor hand = handCursor();
    EXPECT_EQ(hand.hotSpot(), QPoint(13, 6));
    EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(hand.shape(), Qt::BitmapCursor);
    const QImage img = hand.pixmap().toImage();
    EXPECT_GT(qAlpha(img.pixel(13, 7)), 0) << "the hot spot lies on the finger";
    EXPECT_EQ(qAlpha(img.pixel(2, 2)), 0);
}

}  // namespace
}  // namespace q47::test
