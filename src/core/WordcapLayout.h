#pragma once

// The arithmetic of the gradient title bar: colours, the title-bar rectangle, the gradient
// bands, the buttons, hit testing and which texts fit. Plain numbers only, no widgets, so that
// every figure can be checked exactly; Wordcap.cpp paints what these routines decide.

#include <cstdint>
#include <functional>
#include <vector>

namespace Wordcap {

// A colour: direct 0x00BBGGRR, or 0x80000000 plus a system-colour index, resolved when used.
using TColor = std::uint32_t;

constexpr TColor SystemColorFlag = 0x80000000u;
constexpr TColor clBlack = 0x00000000u;
constexpr TColor clAqua = 0x00FFFF00u;
constexpr TColor clActiveCaption = SystemColorFlag | 2;
constexpr TColor clInactiveCaption = SystemColorFlag | 3;
constexpr TColor clWindowText = SystemColorFlag | 8;
constexpr TColor clCaptionText = SystemColorFlag | 9;
constexpr TColor clInactiveCaptionText = SystemColorFlag | 19;

constexpr bool IsSystemColor(TColor color) {
    return (color & SystemColorFlag) != 0;
}
constexpr int SystemColorIndex(TColor color) {
    return int(color & 0xFFu);
}
constexpr TColor RGB(int red, int green, int blue) {
    return TColor(red & 0xFF) | TColor(green & 0xFF) << 8 | TColor(blue & 0xFF) << 16;
}
constexpr int RedOf(TColor color) {
    return int(color & 0xFFu);
}
constexpr int GreenOf(TColor color) {
    return int(color >> 8 & 0xFFu);
}
constexpr int BlueOf(TColor color) {
    return int(color >> 16 & 0xFFu);
}

// number × numerator / denominator through a 64-bit product, rounded to the nearest integer
// with halves away from zero; −1 for a zero denominator or a result outside int, as the
// platform routine answers.
int MulDiv(int number, int numerator, int denominator);

// A rectangle as the window system counts it: right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const Rect&) const = default;
};

// One band of the gradient: left ≤ x < right in a direct colour.
struct Band {
    int left;
    int right;
    TColor color;
    bool operator==(const Band&) const = default;
};

// The bands of a gradient from start to end (both direct colours) across left ≤ x < right:
// band i spans MulDiv(i, width, n) to MulDiv(i + 1, width, n) and each channel moves by
// MulDiv(i, end − start, n − 1); one band is all start colour.
std::vector<Band> GradientBands(TColor start, TColor end, int left, int right, int numColors);

constexpr int MinNumColors = 1;
constexpr int MaxNumColors = 256;
// The band count a setter keeps: below 1 is refused (the current count stays), above 256
// becomes 256.
int ClampNumColors(int current, int requested);

// Border styles of a window, in the form designer's order.
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

constexpr bool IsToolWindow(TFormBorderStyle style) {
    return style == TFormBorderStyle::bsToolWindow || style == TFormBorderStyle::bsSizeToolWin;
}
constexpr bool IsSizeable(TFormBorderStyle style) {
    return style == TFormBorderStyle::bsSizeable || style == TFormBorderStyle::bsSizeToolWin;
}

// The system metrics the title bar is laid out with, named after the Windows ones.
struct SystemMetrics {
    int cyCaption = 19;   // caption height, the line below it included
    int cySmCaption = 15; // tool-window caption height
    int cxSize = 18;      // caption button width, its gap included
    int cxSmSize = 15;    // tool-window caption button width
    int cxFrame = 4;      // sizeable frame
    int cyFrame = 4;
    int cxDlgFrame = 3; // fixed frame
    int cyDlgFrame = 3;
    int cxSmIcon = 16; // small icon
    int cySmIcon = 16;
};

// What the layout needs to know of a window; width and height are its outer size.
struct WindowShape {
    int width = 0;
    int height = 0;
    TFormBorderStyle borderStyle = TFormBorderStyle::bsSizeable;
    bool minimised = false;
    bool systemMenu = true;
    bool minimiseBox = true;
    bool maximiseBox = true;
    bool helpButton = false;
};

struct Insets {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Insets&) const = default;
};

// Thickness of the window's frame on each side (none for a borderless window).
Insets FrameInsets(const WindowShape& shape, const SystemMetrics& metrics);
// Height of the title bar, the line below it included (0 for a borderless window).
int CaptionHeight(TFormBorderStyle style, const SystemMetrics& metrics);
// Room around the client area: the frame on every side, and the title bar above.
Insets NonClientInsets(const WindowShape& shape, const SystemMetrics& metrics);

// The title-bar rectangle that the gradient and the texts fill, in window coordinates, with
// the caption buttons (and, in the older style, the system-menu box) kept out.
Rect GetCaptionRect(const WindowShape& shape, const SystemMetrics& metrics, bool newShell);

// Whether the title bar shows the window's small icon at its left.
bool GetsIcon(const WindowShape& shape, bool newShell);

enum class CaptionButton { Close, Maximise, Minimise, Help };

struct ButtonPlace {
    CaptionButton button;
    Rect rect;
    bool enabled;
    bool operator==(const ButtonPlace&) const = default;
};

// The caption buttons in the room that GetCaptionRect leaves on the right, right to left.
// Minimise and maximise come as a pair; the one the window lacks is shown disabled.
std::vector<ButtonPlace> CaptionButtons(const WindowShape& shape, const SystemMetrics& metrics,
                                        bool newShell);

// The place of the small icon for a title bar starting at captionLeft.
Rect IconRect(const Rect& caption, const SystemMetrics& metrics);

enum class HitArea { Client, Caption, Icon, Button, Frame };
struct Hit {
    HitArea area = HitArea::Client;
    CaptionButton button = CaptionButton::Close; // with HitArea::Button
    bool leftEdge = false, topEdge = false, rightEdge = false, bottomEdge = false; // Frame
};
// What a point (window coordinates) of the window lies on.
Hit HitTest(const WindowShape& shape, const SystemMetrics& metrics, bool newShell, int x, int y);

// Which of company and app-name text to show beside the caption text, given each text's
// measure (its width plus 3) and the room W: all three when their sum is below W, else the
// app name and caption when those are below W, else the caption alone.
struct TextFit {
    bool company;
    bool appName;
    int width;
    bool operator==(const TextFit&) const = default;
};
TextFit FitTexts(int companyMeasure, int appNameMeasure, int captionMeasure, int room);

// One text as the title bar sees it.
struct TextInput {
    int width = 0;       // single-line width of its caption
    bool visible = true; // hidden texts are measured all the same
    bool empty = false;  // no caption
    int measure() const { return width + 3; }
};

// Where one text is drawn: from left up to the bar's right end, cut with an ellipsis there.
struct TextPlace {
    int text; // 0 company, 1 app name, 2 caption
    int left;
    int right;
    bool operator==(const TextPlace&) const = default;
};

struct CaptionPlan {
    Rect caption;      // what the gradient fills
    bool icon = false; // whether the small icon is drawn
    Rect iconRect;
    std::vector<TextPlace> texts;
};

// The whole title bar: icon, fit, centring (older style) and the order of the texts
// (company, app name, caption), each advancing the pen by 3 plus its full width.
CaptionPlan PlanCaption(const Rect& caption, bool icon, const SystemMetrics& metrics, bool newShell,
                        const TextInput& company, const TextInput& appName,
                        const TextInput& captionText);

// Fits a font height (negative: pixel character height) to the target character height:
// height += measured − target, and once more when the font still measures taller.
int FitHeight(int height, int targetCharacterHeight,
              const std::function<int(int height)>& characterHeightOf);

} // namespace Wordcap
