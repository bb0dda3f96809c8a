#include "WordcapLayout.h"

#include <climits>
#include <cstdlib>

namespace Wordcap {

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    long long quotient = product / denominator;
    const long long remainder = product % denominator;
    // Halves round away from zero, as the platform's MulDiv does.
    if (2 * std::llabs(remainder) >= std::llabs(static_cast<long long>(denominator)))
        quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
    if (quotient > INT_MAX || quotient < INT_MIN)
        return -1;
    return static_cast<int>(quotient);
}

std::vector<Band> GradientBands(TColor start, TColor end, int left, int right, int numColors) {
    std::vector<Band> bands;
    if (numColors < 1)
        return bands;
    const int width = right - left;
    const int dRed = RedOf(end) - RedOf(start);
    const int dGreen = GreenOf(end) - GreenOf(start);
    const int dBlue = BlueOf(end) - BlueOf(start);
    bands.reserve(static_cast<std::size_t>(numColors));
    for (int i = 0; i < numColors; ++i) {
        TColor color = start & 0x00FFFFFFu;
        if (numColors >= 2) {
            color = RGB(RedOf(start) + MulDiv(i, dRed, numColors - 1),
                        GreenOf(start) + MulDiv(i, dGreen, numColors - 1),
                        BlueOf(start) + MulDiv(i, dBlue, numColors - 1));
        }
        bands.push_back(
            {left + MulDiv(i, width, numColors), left + MulDiv(i + 1, width, numColors), color});
    }
    return bands;
}

int ClampNumColors(int current, int requested) {
    if (requested < MinNumColors)
        return current;
    return requested > MaxNumColors ? MaxNumColors : requested;
}

Insets FrameInsets(const WindowShape& shape, const SystemMetrics& metrics) {
    if (shape.borderStyle == TFormBorderStyle::bsNone)
        return {};
    const bool sizeFrame = !shape.minimised && IsSizeable(shape.borderStyle);
    const int x = sizeFrame ? metrics.cxFrame : metrics.cxDlgFrame;
    const int y = sizeFrame ? metrics.cyFrame : metrics.cyDlgFrame;
    return {x, y, x, y};
}

int CaptionHeight(TFormBorderStyle style, const SystemMetrics& metrics) {
    if (style == TFormBorderStyle::bsNone)
        return 0;
    return IsToolWindow(style) ? metrics.cySmCaption : metrics.cyCaption;
}

Insets NonClientInsets(const WindowShape& shape, const SystemMetrics& metrics) {
    Insets insets = FrameInsets(shape, metrics);
    insets.top += CaptionHeight(shape.borderStyle, metrics);
    return insets;
}

namespace {

// The caption row before the buttons are kept out: inside the frame, one caption high less the
// line below it.
Rect CaptionRow(const WindowShape& shape, const SystemMetrics& metrics) {
    const Insets frame = FrameInsets(shape, metrics);
    Rect row{frame.left, frame.top, shape.width - frame.right, 0};
    row.bottom = row.top + CaptionHeight(shape.borderStyle, metrics) - 1;
    return row;
}

bool IsDialog(const WindowShape& shape) {
    return shape.borderStyle == TFormBorderStyle::bsDialog;
}

} // namespace

Rect GetCaptionRect(const WindowShape& shape, const SystemMetrics& metrics, bool newShell) {
    if (shape.borderStyle == TFormBorderStyle::bsNone)
        return {};
    Rect rect = CaptionRow(shape, metrics);
    const int b = metrics.cxSize;
    if (IsToolWindow(shape.borderStyle)) {
        rect.right -= metrics.cxSmSize + 2;
    } else {
        if (shape.systemMenu && newShell)
            rect.right -= b + 2;
        if (IsDialog(shape) && shape.helpButton)
            rect.right -= b + 2;
        if (!IsDialog(shape) && (shape.minimiseBox || shape.maximiseBox))
            rect.right -= 2 * b;
        if (shape.systemMenu && !newShell &&
            (shape.borderStyle == TFormBorderStyle::bsSingle ||
             shape.borderStyle == TFormBorderStyle::bsSizeable))
            rect.left += b;
    }
    if (rect.left >= rect.right)
        rect.right = rect.left + 2;
    return rect;
}

bool GetsIcon(const WindowShape& shape, bool newShell) {
    return newShell && shape.systemMenu &&
           (shape.borderStyle == TFormBorderStyle::bsSingle ||
            shape.borderStyle == TFormBorderStyle::bsSizeable);
}

std::vector<ButtonPlace> CaptionButtons(const WindowShape& shape, const SystemMetrics& metrics,
                                        bool newShell) {
    std::vector<ButtonPlace> buttons;
    if (shape.borderStyle == TFormBorderStyle::bsNone)
        return buttons;
    const Rect row = CaptionRow(shape, metrics);
    const int top = row.top + 2;
    const int bottom = row.bottom - 2;
    int next = row.right - 2; // right end of the next button
    const auto place = [&](CaptionButton button, int width, bool enabled) {
        buttons.push_back({button, {next - width, top, next, bottom}, enabled});
        next -= width;
    };
    if (IsToolWindow(shape.borderStyle)) {
        place(CaptionButton::Close, metrics.cxSmSize - 2, true);
        return buttons;
    }
    const int width = metrics.cxSize - 2;
    // Close and help stand apart; minimise and maximise touch.
    if (shape.systemMenu && newShell) {
        place(CaptionButton::Close, width, true);
        next -= 2;
    }
    if (IsDialog(shape) && shape.helpButton) {
        place(CaptionButton::Help, width, true);
        next -= 2;
    }
    if (!IsDialog(shape) && (shape.minimiseBox || shape.maximiseBox)) {
        place(CaptionButton::Maximise, width, shape.maximiseBox);
        place(CaptionButton::Minimise, width, shape.minimiseBox);
    }
    return buttons;
}

Rect IconRect(const Rect& caption, const SystemMetrics& metrics) {
    const int left = caption.left + 2;
    const int top = caption.top + 1;
    return {left, top, left + metrics.cxSmIcon, top + metrics.cySmIcon};
}

Hit HitTest(const WindowShape& shape, const SystemMetrics& metrics, bool newShell, int x, int y) {
    Hit hit;
    if (shape.borderStyle == TFormBorderStyle::bsNone)
        return hit;
    const Insets frame = FrameInsets(shape, metrics);
    if (x < frame.left || y < frame.top || x >= shape.width - frame.right ||
        y >= shape.height - frame.bottom) {
        hit.area = HitArea::Frame;
        // Corners reach along the edges as far as a caption button is wide.
        const int corner = metrics.cxSize;
        hit.leftEdge = x < corner;
        hit.rightEdge = x >= shape.width - corner;
        hit.topEdge = y < corner;
        hit.bottomEdge = y >= shape.height - corner;
        if (x >= frame.left && x < shape.width - frame.right)
            hit.leftEdge = hit.rightEdge = false;
        if (y >= frame.top && y < shape.height - frame.bottom)
            hit.topEdge = hit.bottomEdge = false;
        return hit;
    }
    const Rect row = CaptionRow(shape, metrics);
    if (y >= row.bottom + 1)
        return hit;
    for (const ButtonPlace& place : CaptionButtons(shape, metrics, newShell)) {
        if (place.rect.contains(x, y)) {
            hit.area = HitArea::Button;
            hit.button = place.button;
            return hit;
        }
    }
    const Rect caption = GetCaptionRect(shape, metrics, newShell);
    hit.area = GetsIcon(shape, newShell) && IconRect(caption, metrics).contains(x, y)
                   ? HitArea::Icon
                   : HitArea::Caption;
    return hit;
}

TextFit FitTexts(int companyMeasure, int appNameMeasure, int captionMeasure, int room) {
    if (companyMeasure + appNameMeasure + captionMeasure < room)
        return {true, true, companyMeasure + appNameMeasure + captionMeasure};
    if (appNameMeasure + captionMeasure < room)
        return {false, true, appNameMeasure + captionMeasure};
    return {false, false, captionMeasure};
}

CaptionPlan PlanCaption(const Rect& caption, bool icon, const SystemMetrics& metrics, bool newShell,
                        const TextInput& company, const TextInput& appName,
                        const TextInput& captionText) {
    CaptionPlan plan;
    plan.caption = caption;
    plan.icon = icon;
    Rect pen = caption;
    if (icon) {
        plan.iconRect = IconRect(caption, metrics);
        pen.left += metrics.cxSmIcon + 2;
    }
    const int room = pen.width();
    const TextFit fit = FitTexts(company.measure(), appName.measure(), captionText.measure(), room);
    if (!newShell && fit.width < room)
        pen.left += (room - fit.width) / 2;
    const auto draw = [&](int index, const TextInput& text) {
        pen.left += 3;
        plan.texts.push_back({index, pen.left, pen.right});
        pen.left += text.width; // the full width, even where the drawing was cut
    };
    if (fit.company && !company.empty && company.visible)
        draw(0, company);
    if (fit.appName && !appName.empty && appName.visible)
        draw(1, appName);
    if (captionText.visible)
        draw(2, captionText);
    return plan;
}

int FitHeight(int height, int targetCharacterHeight,
              const std::function<int(int height)>& characterHeightOf) {
    height += characterHeightOf(height) - targetCharacterHeight;
    const int measured = characterHeightOf(height);
    if (measured > targetCharacterHeight)
        height += measured - targetCharacterHeight;
    return height;
}

} // namespace Wordcap
