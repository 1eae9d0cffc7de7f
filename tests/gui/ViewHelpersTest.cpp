#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QImage>

#include "platform/qt/ViewHelpers.h"

namespace kolvik::qt {
namespace {

TEST(TwipsToPixels, RoundsToTheNearestPixelAtFifteenTwipsEach) {
    const struct {
        int twips, pixels;
    } cases[] = {{0, 0},  {7, 0},     {8, 1},      {15, 1},     {22, 1},
                 {23, 2}, {1455, 97}, {5835, 389}, {3570, 238}, {-15, -1}};
    for (const auto& c : cases) EXPECT_EQ(TwipsToPixels(c.twips), c.pixels) << c.twips << " twips";
}

TEST(ControlRect, ConvertsThePlacesOfTheMainWindow) {
    const struct {
        Twips place;
        QRect pixels;
    } cases[] = {
        {{1800, 240, 2895, 375}, QRect(120, 16, 193, 25)},  // txtPassword_1
        {{1800, 720, 2895, 405}, QRect(120, 48, 193, 27)},  // txtPassword_2
        {{4800, 240, 735, 855}, QRect(320, 16, 49, 57)},    // cmdExit
        {{1560, 1320, 255, 255}, QRect(104, 88, 17, 17)},   // chkLoggen
        {{5700, 3300, 240, 240}, QRect(380, 220, 16, 16)},  // element(38)
        // Edges are rounded, not sizes: 23..46 twips is pixels 2..3, one wide, not two.
        {{23, 0, 23, 15}, QRect(2, 0, 1, 1)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ControlRect(c.place), c.pixels) << c.place.left << "," << c.place.top;
}

TEST(LineGeometry, KeepsBothEndsAndRoomForThePen) {
    const struct {
        Control line;
        QPoint a, b;  // the ends in the window's pixels
    } cases[] = {
        {Control::Line("top", 120, 150, 5640, 150, 2), {8, 10}, {376, 10}},
        {Control::Line("left", 120, 150, 120, 1650, 2), {8, 10}, {8, 110}},
        {Control::Line("backwards", 600, 300, 150, 300, 1), {40, 20}, {10, 20}},
        {Control::Line("thick", 150, 150, 3450, 150, 3), {10, 10}, {230, 10}},
    };
    for (const auto& c : cases) {
        const LineShape shape = LineGeometry(c.line);
        EXPECT_EQ(shape.line.p1() + shape.rect.topLeft(), c.a) << c.line.name;
        EXPECT_EQ(shape.line.p2() + shape.rect.topLeft(), c.b) << c.line.name;
        const int half = c.line.lineWidth / 2;
        const QRect inner = shape.rect.adjusted(half, half, -half, -half);
        EXPECT_TRUE(inner.contains(c.a) && inner.contains(c.b)) << c.line.name;
    }
}

TEST(WindowsKeyCode, GivesTheVirtualKeyCodesTheHandlersTest) {
    const struct {
        int qt, vk;
    } cases[] = {
        {Qt::Key_F1, 112},    {Qt::Key_F12, 123},    {Qt::Key_A, 65},     {Qt::Key_R, 82},
        {Qt::Key_U, 85},      {Qt::Key_Z, 90},       {Qt::Key_0, 48},     {Qt::Key_9, 57},
        {Qt::Key_Escape, 27}, {Qt::Key_Return, 13},  {Qt::Key_Enter, 13}, {Qt::Key_CapsLock, 20},
        {Qt::Key_Shift, 16},  {Qt::Key_Control, 17}, {Qt::Key_Space, 32}, {Qt::Key_Delete, 46},
        {Qt::Key_Left, 37},   {Qt::Key_Down, 40},    {Qt::Key_Eacute, 0}, {Qt::Key_unknown, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(WindowsKeyCode(c.qt), c.vk) << std::hex << c.qt;
}

TEST(ShiftState, AddsShiftCtrlAndAltAsOneTwoAndFour) {
    const struct {
        Qt::KeyboardModifiers modifiers;
        int shift;
    } cases[] = {
        {Qt::NoModifier, 0},
        {Qt::ShiftModifier, 1},
        {Qt::ControlModifier, 2},
        {Qt::AltModifier, 4},
        {Qt::ControlModifier | Qt::ShiftModifier, 3},
        {Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, 7},
        {Qt::MetaModifier, 0},
        {Qt::KeypadModifier | Qt::ControlModifier, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(ShiftState(c.modifiers), c.shift) << c.modifiers.toInt();
}

TEST(ToQString, ReadsUtf8AndTurnsCrLfIntoLineBreaks) {
    EXPECT_EQ(ToQString("Gedaan: 3\r\nOvergeslagen: 1"),
              QStringLiteral("Gedaan: 3\nOvergeslagen: 1"));
    EXPECT_EQ(ToQString("\xC2\xA9 2026"), QString(QChar(0xA9)) + QStringLiteral(" 2026"));
    EXPECT_EQ(ToQString("              S t a t s "), QStringLiteral("              S t a t s "));
}

TEST(ControlFont, UsesTheDecorativeFaceAndBoldAsTheControlSays) {
    const QFont base(QStringLiteral("DejaVu Sans"), 8);
    Control plain("plain", ControlKind::Label, "", {});
    Control script = plain;
    script.face = FontFace::Script;
    Control bold = plain;
    bold.bold = true;

    EXPECT_EQ(ControlFont(plain, base).family(), base.family());
    EXPECT_FALSE(ControlFont(plain, base).bold());
    EXPECT_TRUE(ControlFont(bold, base).bold());
    // The build installs the URW fonts, which bring the decorative Z003.
    EXPECT_EQ(ScriptFamily(), QStringLiteral("Z003"));
    EXPECT_EQ(ControlFont(script, base).family(), QStringLiteral("Z003"));
}

TEST(Pictures, ComeFromTheProgramsResources) {
    const QImage block = LoadPicture("block").toImage();
    ASSERT_EQ(block.size(), QSize(7, 17));
    for (const QPoint p : {QPoint(0, 0), QPoint(6, 16), QPoint(3, 8)})
        EXPECT_EQ(block.pixelColor(p), QColor(0x55, 0xFF, 0x00)) << p.x() << "," << p.y();
    EXPECT_FALSE(LoadPicture("exit").isNull());
    EXPECT_TRUE(LoadPicture("nonexistent").isNull());
    EXPECT_TRUE(LoadPicture("").isNull());

    const QList<QSize> sizes = ProgramIcon().availableSizes();
    for (int size : {16, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

}  // namespace
}  // namespace kolvik::qt
