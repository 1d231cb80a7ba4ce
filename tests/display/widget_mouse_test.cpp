// The display control's mouse with synthesized Qt events: image events only on the drawn
// image, select events for the topmost layer with the point relative to it, the grab
// until every button is up, and wheel steps.
#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include "tests/display/display_rig.h"

namespace q47::test {
namespace {

struct Select {
    int index, x, y;
    bool operator==(const Select&) const = default;
};
struct ImageEvent {
    TMouseButton button;
    int ox, oy, l, t, r, b;
    double sw, sh;
    int x, y;
};

class DisplayMouse : public ::testing::Test {
protected:
    EngineImages images;
    TVIkDisp disp;
    std::vector<Select> downSel, upSel, downVec;
    std::vector<ImageEvent> downImg, upImg, moveImg;
    int clientDowns = 0;

    void SetUp() override {
        disp.resize(300, 200);
        disp.OnMouseDownSelectRasterImage = [this](QObject*, int16_t i, int x, int y) {
            downSel.push_back({i, x, y});
        };
        disp.OnMouseUpSelectRasterImage = [this](QObject*, int16_t i, int x, int y) {
            upSel.push_back({i, x, y});
        };
        disp.OnMouseDownSelectVectorImage = [this](QObject*, int16_t i, int x, int y) {
            downVec.push_back({i, x, y});
        };
        disp.OnMouseDownImage = [this](QObject*, TMouseButton bt, int ox, int oy, int l, int t,
                                       int r, int b, double sw, double sh, int x, int y) {
            downImg.push_back({bt, ox, oy, l, t, r, b, sw, sh, x, y});
        };
        disp.OnMouseUpImage = [this](QObject*, TMouseButton bt, int ox, int oy, int l, int t, int r,
                                     int b, double sw, double sh, int x, int y) {
            upImg.push_back({bt, ox, oy, l, t, r, b, sw, sh, x, y});
        };
        disp.OnMouseMoveImage = [this](QObject*, int ox, int oy, int l, int t, int r, int b,
                                       double sw, double sh, int x, int y) {
            moveImg.push_back({mbLeft, ox, oy, l, t, r, b, sw, sh, x, y});
        };
        disp.OnMouseDown = [this](QObject*, TMouseButton, TShiftState, int, int) { ++clientDowns; };
        // A sheet with the capture layer and two handles, as the image window lays them.
        disp.SetImgHandle(images.solid(200, 100, qRgb(255, 255, 255)));
        place(0, images.solid(100, 50, qRgb(0, 0, 255)), 20, 20);
        place(3, images.solid(14, 14, qRgb(0, 0, 0)), 50, 30);
        place(4, images.solid(14, 14, qRgb(0, 0, 0)), 180, 80);
        disp.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&disp));
    }
    void place(int index, IKHANDLE h, int x, int y) {
        disp.GetRaster(index)->setImgHandle(h);
        disp.GetRaster(index)->setStartX(x);
        disp.GetRaster(index)->setStartY(y);
    }
    // Client point of an image point in the current drawing.
    QPoint at(int X, int Y) { return disp.ImageToClient(QPoint(X, Y)); }
    void click(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(&disp, b, Qt::NoModifier, p);
        QTest::mouseRelease(&disp, b, Qt::NoModifier, p);
    }
};

TEST_F(DisplayMouse, TheTopmostLayerUnderThePointIsSelectedWithRelativeCoordinates) {
    ASSERT_TRUE(disp.Display(vikScale));  // 1:1, centred at (50, 50)
    click(at(55, 35));
    EXPECT_EQ(downSel, (std::vector<Select>{{3, 5, 5}}));
    EXPECT_EQ(upSel, (std::vector<Select>{{3, 5, 5}}));
    click(at(25, 22));
    EXPECT_EQ(downSel.back(), (Select{0, 5, 2}));
    click(at(190, 10));  // on the sheet only: no layer there
    EXPECT_EQ(downSel.size(), 2u);
    ASSERT_EQ(downImg.size(), 3u);
    EXPECT_EQ(downImg.back().x, 190);
    EXPECT_EQ(downImg.back().y, 10);

    disp.GetRaster(3)->setShowInDisp(false);  // hidden layers are not hit
    click(at(55, 35));
    EXPECT_EQ(downSel.back(), (Select{0, 35, 15}));
}

TEST_F(DisplayMouse, StretchedPointsAreReportedInImagePixels) {
    disp.resize(400, 200);  // 2 x 2 screen pixels per image pixel
    ASSERT_TRUE(disp.Display(vikStretch));
    QTest::mousePress(&disp, Qt::LeftButton, Qt::NoModifier, QPoint(111, 71));
    ASSERT_EQ(downImg.size(), 1u);
    const ImageEvent& e = downImg[0];
    EXPECT_EQ(e.button, mbLeft);
    EXPECT_EQ(e.x, 55);
    EXPECT_EQ(e.y, 35);
    EXPECT_EQ(e.ox, 0);
    EXPECT_EQ(e.oy, 0);
    EXPECT_EQ(e.r, 199);
    EXPECT_EQ(e.b, 99);
    EXPECT_DOUBLE_EQ(e.sw, 2.0);
    EXPECT_DOUBLE_EQ(e.sh, 2.0);
    EXPECT_EQ(downSel, (std::vector<Select>{{3, 5, 5}}));
    QTest::mouseMove(&disp, QPoint(121, 81));
    ASSERT_FALSE(moveImg.empty());
    EXPECT_EQ(moveImg.back().x, 60);
    EXPECT_EQ(moveImg.back().y, 40);
    QTest::mouseRelease(&disp, Qt::LeftButton, Qt::NoModifier, QPoint(121, 81));
    EXPECT_EQ(upSel, (std::vector<Select>{{3, 10, 10}}));
}

TEST_F(DisplayMouse, AClickOutsideTheDrawnImageRaisesNoImageEvent) {
    ASSERT_TRUE(disp.Display(vikScale));  // image at (50, 50) .. (249, 149)
    click(QPoint(10, 10));
    click(QPoint(49, 60));
    click(QPoint(250, 60));
    QTest::mouseMove(&disp, QPoint(20, 180));
    EXPECT_TRUE(downImg.empty());
    EXPECT_TRUE(upImg.empty());
    EXPECT_TRUE(moveImg.empty());
    EXPECT_TRUE(downSel.empty());
    EXPECT_TRUE(upSel.empty());
    EXPECT_EQ(clientDowns, 3) << "the plain mouse events still come";
}

TEST_F(DisplayMouse, OnlyTheLeftButtonSelectsLayers) {
    ASSERT_TRUE(disp.Display(vikScale));
    click(at(55, 35), Qt::RightButton);
    ASSERT_EQ(downImg.size(), 1u);
    EXPECT_EQ(downImg[0].button, mbRight);
    EXPECT_TRUE(downSel.empty());
    EXPECT_TRUE(upSel.empty());
}

TEST_F(DisplayMouse, VectorLayersAreHitTestedBeforeRasterLayersAndBothReport) {
    const IKHANDLE vector = Ikdllprocs::IKCreateVectImage(30, 30, 0, 0);
    ASSERT_NE(vector, 0u);
    disp.GetVector(2)->setImgHandle(vector);
    disp.GetVector(2)->StartX = 40;
    disp.GetVector(2)->StartY = 25;
    std::vector<char> order;
    disp.OnMouseDownSelectVectorImage = [&](QObject*, int16_t i, int x, int y) {
        order.push_back('v');
        downVec.push_back({i, x, y});
    };
    disp.OnMouseDownSelectRasterImage = [&](QObject*, int16_t, int, int) { order.push_back('r'); };
    ASSERT_TRUE(disp.Display(vikScale));
    // The engine's vector objects carry no size: the layer is its corner point.
    QTest::mousePress(&disp, Qt::LeftButton, Qt::NoModifier, at(40, 25));
    QTest::mouseRelease(&disp, Qt::LeftButton, Qt::NoModifier, at(40, 25));
    EXPECT_EQ(order, (std::vector<char>{'v', 'r'}));
    EXPECT_EQ(downVec, (std::vector<Select>{{2, 0, 0}}));
    Ikdllprocs::IKFreeMemory(vector);
}

TEST_F(DisplayMouse, TheLeftButtonHoldsTheMouseUntilEveryButtonIsUp) {
    ASSERT_TRUE(disp.Display(vikScale));
    const QPoint p = at(30, 30);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    QTest::mousePress(&disp, Qt::LeftButton, Qt::NoModifier, p);
    EXPECT_EQ(QWidget::mouseGrabber(), &disp);
    EXPECT_TRUE(disp.hasFocus());
    // Right pressed too, left released: the right button still holds it.
    QMouseEvent rightDown(QEvent::MouseButtonPress, p, disp.mapToGlobal(p), Qt::RightButton,
                          Qt::LeftButton | Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&disp, &rightDown);
    QMouseEvent leftUp(QEvent::MouseButtonRelease, p, disp.mapToGlobal(p), Qt::LeftButton,
                       Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&disp, &leftUp);
    EXPECT_EQ(QWidget::mouseGrabber(), &disp);
    QMouseEvent rightUp(QEvent::MouseButtonRelease, p, disp.mapToGlobal(p), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&disp, &rightUp);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    // Released outside the image: the release still reaches the control (no image event).
    const size_t ups = upImg.size();
    QTest::mousePress(&disp, Qt::LeftButton, Qt::NoModifier, p);
    QMouseEvent outsideUp(QEvent::MouseButtonRelease, QPoint(-40, -40),
                          disp.mapToGlobal(QPoint(-40, -40)), Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
    QApplication::sendEvent(&disp, &outsideUp);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(upImg.size(), ups) << "no image event for a release outside the image";
}

class DisplayWheel : public DisplayMouse {
protected:
    std::vector<std::pair<TScrollCode, TVIkMouseWheel>> scrolls;
    int ups = 0, downs = 0;
    void SetUp() override {
        DisplayMouse::SetUp();
        disp.SetImgHandle(images.solid(2000, 1000, qRgb(255, 255, 255)));
        disp.OnScrollDispImage = [this](QObject*, TScrollCode c, int16_t, TVIkMouseWheel d) {
            scrolls.push_back({c, d});
        };
        disp.OnMouseWheelUpImage = [this](QObject*, TShiftState, TVIkMouseWheel) { ++ups; };
        disp.OnMouseWheelDownImage = [this](QObject*, TShiftState, TVIkMouseWheel) { ++downs; };
        disp.WheelScrollLines = 3;
        disp.ScrollHeight = 10;
        disp.ScrollWidth = 4;
        disp.StartX = 500;
        disp.StartY = 500;
        ASSERT_TRUE(disp.Display(vikActualSize));
    }
    void wheel(int delta) {
        QWheelEvent e(QPointF(150, 100), disp.mapToGlobal(QPointF(150, 100)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&disp, &e);
    }
};

TEST_F(DisplayWheel, OneNotchScrollsOneLinePerWheelLine) {
    wheel(120);
    ASSERT_EQ(scrolls.size(), 3u);
    EXPECT_EQ(scrolls[0], std::make_pair(scLineUp, vikVertical));
    EXPECT_EQ(disp.StartY, 500 - 3 * 10);
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(downs, 0);
    wheel(-240);
    EXPECT_EQ(scrolls.size(), 9u);
    EXPECT_EQ(scrolls.back().first, scLineDown);
    EXPECT_EQ(disp.StartY, 500 - 30 + 60);
    EXPECT_EQ(downs, 1);
}

TEST_F(DisplayWheel, PartialDeltasAddUpAndAStepFreeEventCountsAsDown) {
    wheel(30);
    EXPECT_TRUE(scrolls.empty());
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 0);
    wheel(30);  // 60: one step of 40
    EXPECT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(ups, 1);
}

TEST_F(DisplayWheel, HorizontalDisabledAndNoWheelLines) {
    disp.MouseWheel = vikHorizontal;
    wheel(120);
    ASSERT_EQ(scrolls.size(), 3u);
    EXPECT_EQ(scrolls[0].second, vikHorizontal);
    EXPECT_EQ(disp.StartX, 500 - 3 * 4);
    EXPECT_EQ(disp.StartY, 500);

    disp.MouseWheel = vikDisable;
    wheel(120);
    EXPECT_EQ(scrolls.size(), 3u);
    EXPECT_EQ(ups, 2) << "the wheel event still comes";

    disp.WheelScrollLines = 0;
    wheel(120);
    EXPECT_EQ(ups, 2);
    EXPECT_EQ(downs, 0);
}

}  // namespace
}  // namespace q47::test

namespace q47::test {
namespace {

TEST_F(DisplayMouse, DraggingWithScrollDragMovesTheView) {
    disp.SetImgHandle(images.solid(1000, 800, qRgb(255, 255, 255)));
    disp.ScrollDrag = true;
    disp.StartX = 300;
    disp.StartY = 300;
    ASSERT_TRUE(disp.Display(vikActualSize));
    QTest::mousePress(&disp, Qt::LeftButton, Qt::NoModifier, QPoint(150, 100));
    QTest::mouseMove(&disp, QPoint(110, 130));
    EXPECT_EQ(disp.StartX, 340);  // the picture follows the mouse
    EXPECT_EQ(disp.StartY, 270);
    QTest::mouseRelease(&disp, Qt::LeftButton, Qt::NoModifier, QPoint(110, 130));
    QTest::mouseMove(&disp, QPoint(10, 10));
    EXPECT_EQ(disp.StartX, 340) << "no drag after the release";
}

}  // namespace
}  // namespace q47::test
