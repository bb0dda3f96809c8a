#include "Wordcap.h"

#include "platform/VallorinError.h"
#include "platform/qt/StyleIcons.h"

#include <QApplication>
#include <QCursor>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QShortcut>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QWhatsThis>
#include <QWindow>
#include <qdrawutil.h>

#include <algorithm>
#include <utility>

namespace Wordcap {

namespace {

constexpr int KeyboardMoveStep = 8;

// Which palette role stands for which Windows system colour, by system-colour index.
struct SystemRole {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
constexpr QPalette::ColorGroup Now = QPalette::Current;
// clang-format off
constexpr SystemRole SystemRoles[] = {
    {Now, QPalette::Button},                     // 0 COLOR_SCROLLBAR
    {Now, QPalette::Dark},                       // 1 COLOR_BACKGROUND (desktop)
    {QPalette::Active, QPalette::Highlight},     // 2 COLOR_ACTIVECAPTION
    {QPalette::Active, QPalette::Dark},          // 3 COLOR_INACTIVECAPTION
    {Now, QPalette::Button},                     // 4 COLOR_MENU
    {Now, QPalette::Base},                       // 5 COLOR_WINDOW
    {Now, QPalette::Shadow},                     // 6 COLOR_WINDOWFRAME
    {Now, QPalette::ButtonText},                 // 7 COLOR_MENUTEXT
    {Now, QPalette::WindowText},                 // 8 COLOR_WINDOWTEXT
    {QPalette::Active, QPalette::HighlightedText}, // 9 COLOR_CAPTIONTEXT
    {Now, QPalette::Button},                     // 10 COLOR_ACTIVEBORDER
    {Now, QPalette::Button},                     // 11 COLOR_INACTIVEBORDER
    {Now, QPalette::Dark},                       // 12 COLOR_APPWORKSPACE
    {Now, QPalette::Highlight},                  // 13 COLOR_HIGHLIGHT
    {Now, QPalette::HighlightedText},            // 14 COLOR_HIGHLIGHTTEXT
    {Now, QPalette::Button},                     // 15 COLOR_BTNFACE
    {Now, QPalette::Dark},                       // 16 COLOR_BTNSHADOW
    {QPalette::Disabled, QPalette::Text},        // 17 COLOR_GRAYTEXT
    {Now, QPalette::ButtonText},                 // 18 COLOR_BTNTEXT
    {QPalette::Active, QPalette::Button},        // 19 COLOR_INACTIVECAPTIONTEXT (button face)
    {Now, QPalette::Light},                      // 20 COLOR_BTNHIGHLIGHT
    {Now, QPalette::Shadow},                     // 21 COLOR_3DDKSHADOW
    {Now, QPalette::Midlight},                   // 22 COLOR_3DLIGHT
    {Now, QPalette::ToolTipText},                // 23 COLOR_INFOTEXT
    {Now, QPalette::ToolTipBase},                // 24 COLOR_INFOBK
};
// clang-format on

QColor SystemColor(const QPalette& palette, int index) {
    if (index < 0 || index >= int(std::size(SystemRoles)))
        return palette.color(QPalette::Window);
    return palette.color(SystemRoles[index].group, SystemRoles[index].role);
}

QColor ToQColor(TColor direct) {
    return QColor(RedOf(direct), GreenOf(direct), BlueOf(direct));
}

QRect ToQRect(const Rect& rect) {
    return QRect(rect.left, rect.top, rect.width(), rect.height());
}

constexpr int TextFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;

// A font's character height (cell height less internal leading): the em height in pixels.
int CharacterHeight(const QFont& font) {
    return QFontInfo(font).pixelSize();
}

TFormBorderStyle JudgeBorderStyle(const QWidget& window, Qt::WindowFlags flags) {
    if (flags.testFlag(Qt::FramelessWindowHint))
        return TFormBorderStyle::bsNone;
    const bool fixed = window.minimumSize() == window.maximumSize();
    switch (flags & Qt::WindowType_Mask) {
    case Qt::Tool:
        return fixed ? TFormBorderStyle::bsToolWindow : TFormBorderStyle::bsSizeToolWin;
    case Qt::Dialog:
    case Qt::Sheet:
        return fixed ? TFormBorderStyle::bsDialog : TFormBorderStyle::bsSizeable;
    default:
        return fixed ? TFormBorderStyle::bsSingle : TFormBorderStyle::bsSizeable;
    }
}

} // namespace

// ---- Texts

TCompanyText::TCompanyText(TMSOfficeCaption& owner)
    : owner(owner), FFont(owner.SystemCaptionFont) {}

void TCompanyText::SetFont(const QFont& font) {
    FFont = font;
    if (FFontKind == TFontKind::fkAutoHeight)
        owner.FitFontHeight(FFont);
    else
        FFontKind = TFontKind::fkCustom;
}

void TCompanyText::SetFontKind(TFontKind kind) {
    owner.ApplyFontKind(*this, kind);
}

QString TCaptionText::Caption() const {
    return owner.window() ? owner.window()->windowTitle() : QString();
}

void TCaptionText::SetCaption(const QString& caption) {
    // The title bar is the component's own, so setting the title paints nothing else.
    if (QWidget* window = owner.window())
        window->setWindowTitle(caption);
    FCaption = caption;
}

// ---- The component

TMSOfficeCaption::TMSOfficeCaption(QWidget* window) : QObject(window), owner(window) {
    if (!window || !window->isWindow())
        throw VallorinError(tr("A title bar can only be given to a window"));
    originalFlags = window->windowFlags();
    FBorderStyle = JudgeBorderStyle(*window, originalFlags);
    LoadSystemCaptionFont();
    FAppNameText = std::make_unique<TAppNameText>(*this);
    FCaptionText = std::make_unique<TCaptionText>(*this);
    FCompanyText = std::make_unique<TCompanyText>(*this);

    window->installEventFilter(this);
    // The window manager draws no title bar: this one is the only one.
    const bool shown = window->isVisible();
    window->setWindowFlags(originalFlags | Qt::FramelessWindowHint);
    if (shown)
        window->show();
    applyInsets();

    // The keys of a title bar, which the window manager no longer sees on a frameless window
    // everywhere.
    auto* closeKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), window);
    closeKey->setContext(Qt::WindowShortcut);
    connect(closeKey, &QShortcut::activated, this, [this] { owner->close(); });
    auto* menuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), window);
    menuKey->setContext(Qt::WindowShortcut);
    connect(menuKey, &QShortcut::activated, this, [this] {
        const Rect caption = GetCaptionRect();
        ShowSystemMenu(owner->mapToGlobal(QPoint(caption.left, caption.bottom)));
    });
    shortcuts = {closeKey, menuKey};
}

TMSOfficeCaption::~TMSOfficeCaption() {
    // While the window itself is being destroyed it has already let go of its children.
    if (!owner || !owner->children().contains(this))
        return;
    owner->removeEventFilter(this);
    for (const QPointer<QShortcut>& shortcut : shortcuts)
        delete shortcut.data();
    delete systemMenu.data();
    FBorderStyle = TFormBorderStyle::bsNone; // gives back the room of frame and title bar
    applyInsets();
    // The window manager's title bar returns.
    const bool shown = owner->isVisible();
    owner->setWindowFlags(originalFlags);
    if (shown)
        owner->show();
}

QString TMSOfficeCaption::TitleText() const {
    QStringList shown;
    // The caption is read from the window title, as the painting does.
    const QString caption = owner ? owner->windowTitle() : QString();
    const std::pair<const TCompanyText*, QString> texts[] = {
        {FCompanyText.get(), FCompanyText->Caption()},
        {FAppNameText.get(), FAppNameText->Caption()},
        {FCaptionText.get(), caption}};
    for (const auto& [text, words] : texts)
        if (text->Visible() && !words.trimmed().isEmpty())
            shown << words.trimmed();
    return shown.join(u' ');
}

TMSOfficeCaption* TMSOfficeCaption::attach(QWidget* window, const CaptionSettings& settings) {
    auto* caption = new TMSOfficeCaption(window);
    if (settings.borderStyle)
        caption->SetBorderStyle(*settings.borderStyle);
    TCompanyText& company = caption->CompanyText();
    company.SetCaption(CompanyWord);
    company.SetFontKind(TFontKind::fkSystemBI);
    company.SetVisible(false);
    TAppNameText& appName = caption->AppNameText();
    appName.SetCaption(settings.appName);
    appName.SetFontKind(TFontKind::fkSystemB);
    appName.SetColorActive(settings.appNameColor);
    TCaptionText& text = caption->CaptionText();
    if (settings.caption)
        text.SetCaption(*settings.caption);
    text.SetVisible(settings.captionVisible);
    text.SetColorActive(settings.captionColor);
    if (settings.captionFont)
        text.SetFont(*settings.captionFont);
    else
        text.SetFontKind(TFontKind::fkSystem);
    return caption;
}

void TMSOfficeCaption::SetColor(TColor color) {
    if (color != FColor)
        FColor = color;
}

void TMSOfficeCaption::SetEnabled(TGradEnabled enabled) {
    if (enabled != FEnabled)
        FEnabled = enabled;
}

void TMSOfficeCaption::SetNumColors(int count) {
    FNumColors = ClampNumColors(FNumColors, count);
}

void TMSOfficeCaption::SetBorderStyle(TFormBorderStyle style) {
    FBorderStyle = style;
    applyInsets();
    updateBar();
}

bool TMSOfficeCaption::IsFormActive() const {
    if (ActiveKnown)
        return LastActive;
    return owner && owner->isActiveWindow();
}

WindowShape TMSOfficeCaption::Shape() const {
    WindowShape shape;
    shape.width = owner->width();
    shape.height = owner->height();
    shape.borderStyle = FBorderStyle;
    shape.minimised = owner->isMinimized();
    shape.systemMenu = originalFlags.testFlag(Qt::WindowSystemMenuHint);
    shape.minimiseBox = originalFlags.testFlag(Qt::WindowMinimizeButtonHint);
    shape.maximiseBox = originalFlags.testFlag(Qt::WindowMaximizeButtonHint);
    shape.helpButton = originalFlags.testFlag(Qt::WindowContextHelpButtonHint);
    return shape;
}

SystemMetrics TMSOfficeCaption::Metrics() const {
    const QStyle* style = owner->style();
    QStyleOptionTitleBar bar;
    bar.initFrom(owner);
    bar.fontMetrics = QFontMetrics(SystemCaptionFont);
    bar.titleBarFlags = Qt::Window;
    SystemMetrics metrics;
    // SM_CYCAPTION: PM_TitleBarHeight, plus the line below the bar that Windows counts in.
    metrics.cyCaption = style->pixelMetric(QStyle::PM_TitleBarHeight, &bar) + 1;
    bar.titleBarFlags = Qt::Tool;
    // SM_CYSMCAPTION: PM_TitleBarHeight of a tool window, plus that line.
    metrics.cySmCaption = style->pixelMetric(QStyle::PM_TitleBarHeight, &bar) + 1;
    // SM_CXSIZE: PM_TitleBarButtonSize, plus the 2-pixel gap Windows counts in.
    metrics.cxSize = style->pixelMetric(QStyle::PM_TitleBarButtonSize, nullptr, owner) + 2;
    // SM_CXSMSIZE: as high as the tool-window bar, less its line.
    metrics.cxSmSize = metrics.cySmCaption - 1;
    // SM_CXFRAME/SM_CYFRAME: PM_MdiSubWindowFrameWidth, the frame of a sizeable inner window.
    metrics.cxFrame = metrics.cyFrame =
        style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, owner);
    // SM_CXDLGFRAME/SM_CYDLGFRAME: PM_DefaultFrameWidth (the 3D edge) plus one line of face.
    metrics.cxDlgFrame = metrics.cyDlgFrame =
        style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, owner) + 1;
    // SM_CXSMICON/SM_CYSMICON: PM_SmallIconSize.
    metrics.cxSmIcon = metrics.cySmIcon =
        style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, owner);
    return metrics;
}

Rect TMSOfficeCaption::GetCaptionRect() const {
    return Wordcap::GetCaptionRect(Shape(), Metrics(), NewShell);
}

TColor TMSOfficeCaption::ResolveColor(TColor color) const {
    if (!IsSystemColor(color))
        return color & 0x00FFFFFFu;
    const QColor value = SystemColor(owner->palette(), SystemColorIndex(color));
    return RGB(value.red(), value.green(), value.blue());
}

void TMSOfficeCaption::FillGradient(QPainter& painter, TColor start, TColor end,
                                    const Rect& rect) const {
    const auto bands =
        GradientBands(ResolveColor(start), ResolveColor(end), rect.left, rect.right, FNumColors);
    for (const Band& band : bands) {
        if (band.right > band.left)
            painter.fillRect(band.left, rect.top, band.right - band.left, rect.height(),
                             ToQColor(band.color));
    }
}

int TMSOfficeCaption::MeasureText(const TCompanyText& text) const {
    const QFontMetrics metrics(text.Font());
    return metrics.size(TextFlags, text.FCaption).width() + 3;
}

void TMSOfficeCaption::PaintText(QPainter& painter, const TCompanyText& text, Rect& rect,
                                 bool active) const {
    rect.left += 3;
    painter.save();
    painter.setPen(ToQColor(ResolveColor(active ? text.ColorActive() : text.ColorInactive())));
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setFont(text.Font());
    const QFontMetrics metrics(text.Font());
    const int width = metrics.size(TextFlags, text.FCaption).width();
    const int room = std::max(0, rect.width());
    const QString shown = metrics.elidedText(text.FCaption, Qt::ElideRight, room, TextFlags);
    painter.drawText(ToQRect(rect), Qt::AlignLeft | Qt::AlignVCenter | TextFlags, shown);
    painter.restore();
    rect.left += width; // the full width, even when the drawing was cut
}

void TMSOfficeCaption::PaintIcon(QPainter& painter, Rect& rect) const {
    const Rect place = IconRect(rect, Metrics());
    // The window's icon, which Qt already falls back to the application's; else the style's.
    QIcon icon = owner->windowIcon();
    if (icon.isNull())
        icon = owner->style()->standardIcon(QStyle::SP_TitleBarMenuButton, nullptr, owner);
    icon.paint(&painter, ToQRect(place));
    rect.left = place.right;
}

QPixmap TMSOfficeCaption::ComposeCaption(bool active, Rect* captionOut) {
    const WindowShape shape = Shape();
    const SystemMetrics metrics = Metrics();
    const Insets frame = FrameInsets(shape, metrics);
    const QRect row(frame.left, frame.top, shape.width - frame.left - frame.right,
                    CaptionHeight(shape.borderStyle, metrics) - 1);
    if (shape.borderStyle == TFormBorderStyle::bsNone || row.isEmpty())
        return {};
    const qreal ratio = owner->devicePixelRatioF();
    QPixmap pixmap(row.size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    const TColor captionColor = active ? clActiveCaption : clInactiveCaption;
    // The room of the buttons has the plain caption colour, as the window manager paints it.
    pixmap.fill(ToQColor(ResolveColor(captionColor)));

    QPainter painter(&pixmap);
    painter.translate(-row.topLeft()); // draw in window coordinates
    Rect caption = Wordcap::GetCaptionRect(shape, metrics, NewShell);
    if (FEnabled == TGradEnabled::geAlways || (FEnabled == TGradEnabled::geWhenActive && active))
        FillGradient(painter, FColor, captionColor, caption);
    else
        painter.fillRect(ToQRect(caption), ToQColor(ResolveColor(captionColor)));

    // The stored caption follows the window title, without setting the title again.
    FCaptionText->FCaption = owner->windowTitle();
    const auto input = [this](const TCompanyText& text) {
        return TextInput{MeasureText(text) - 3, text.Visible(), text.FCaption.isEmpty()};
    };
    const CaptionPlan plan =
        PlanCaption(caption, GetsIcon(shape, NewShell), metrics, NewShell, input(*FCompanyText),
                    input(*FAppNameText), input(*FCaptionText));
    painter.setClipRect(ToQRect(caption));
    if (plan.icon) {
        Rect pen = caption;
        PaintIcon(painter, pen);
    }
    const TCompanyText* texts[] = {FCompanyText.get(), FAppNameText.get(), FCaptionText.get()};
    for (const TextPlace& place : plan.texts) {
        Rect pen{place.left - 3, caption.top, place.right, caption.bottom};
        PaintText(painter, *texts[place.text], pen, active);
    }
    painter.setClipping(false);
    paintButtons(painter, row.topLeft());
    if (captionOut)
        *captionOut = caption;
    return pixmap;
}

Rect TMSOfficeCaption::PaintCaption(QPainter& painter, bool active) {
    if (FBorderStyle == TFormBorderStyle::bsNone)
        return {};
    Rect caption;
    const QPixmap bar = ComposeCaption(active, &caption);
    if (bar.isNull())
        return {};
    const Insets frame = FrameInsets(Shape(), Metrics());
    painter.drawPixmap(frame.left, frame.top, bar); // the whole bar in one step
    return caption;
}

void TMSOfficeCaption::paintButtons(QPainter& painter, const QPoint&) const {
    const bool maximised = owner->isMaximized();
    for (const ButtonPlace& place : CaptionButtons(Shape(), Metrics(), NewShell)) {
        const QRect rect = ToQRect(place.rect);
        const bool down = pressed == place.button && pressedInside;
        const QBrush face = owner->palette().brush(QPalette::Button);
        qDrawWinButton(&painter, rect, owner->palette(), down, &face);
        QStyle::StandardPixmap glyph = QStyle::SP_TitleBarCloseButton;
        switch (place.button) {
        case CaptionButton::Close:
            glyph = QStyle::SP_TitleBarCloseButton;
            break;
        case CaptionButton::Help:
            glyph = QStyle::SP_TitleBarContextHelpButton;
            break;
        case CaptionButton::Minimise:
            glyph = QStyle::SP_TitleBarMinButton;
            break;
        case CaptionButton::Maximise:
            glyph = maximised ? QStyle::SP_TitleBarNormalButton : QStyle::SP_TitleBarMaxButton;
            break;
        }
        const QIcon& icon = Glyph(glyph);
        QRect inner = rect.adjusted(2, 2, -2, -2);
        if (down)
            inner.translate(1, 1);
        icon.paint(&painter, inner, Qt::AlignCenter,
                   place.enabled ? QIcon::Normal : QIcon::Disabled);
    }
}

const QIcon& TMSOfficeCaption::Glyph(QStyle::StandardPixmap which) const {
    // The buttons are painted on every activation change and every press, so each glyph is
    // made once.
    auto found = glyphs.find(which);
    if (found == glyphs.end())
        found = glyphs.emplace(which, StylePicture(owner, which)).first;
    return found->second;
}

void TMSOfficeCaption::paintFrame(QPainter& painter) const {
    const WindowShape shape = Shape();
    if (shape.borderStyle == TFormBorderStyle::bsNone)
        return;
    const Insets room = NonClientInsets(shape, Metrics());
    const QBrush face = owner->palette().brush(QPalette::Button);
    const int w = shape.width;
    const int h = shape.height;
    painter.fillRect(0, 0, w, room.top, face);
    painter.fillRect(0, h - room.bottom, w, room.bottom, face);
    painter.fillRect(0, 0, room.left, h, face);
    painter.fillRect(w - room.right, 0, room.right, h, face);
    qDrawWinPanel(&painter, 0, 0, w, h, owner->palette(), false);
}

void TMSOfficeCaption::FitFontHeight(QFont& font) const {
    const int target = CharacterHeight(SystemCaptionFont);
    const int height = FitHeight(-CharacterHeight(font), target, [&font](int candidate) {
        QFont probe = font;
        probe.setPixelSize(std::max(1, -candidate));
        return CharacterHeight(probe);
    });
    font.setPixelSize(std::max(1, -height));
}

void TMSOfficeCaption::ApplyFontKind(TCompanyText& text, TFontKind kind) const {
    text.FFontKind = kind;
    switch (kind) {
    case TFontKind::fkCustom:
        break;
    case TFontKind::fkAutoHeight:
        FitFontHeight(text.FFont);
        break;
    default:
        text.FFont = SystemCaptionFont;
        // Styles join the system font's own: a bold caption font stays bold.
        if (kind == TFontKind::fkSystemI || kind == TFontKind::fkSystemBI)
            text.FFont.setItalic(true);
        if (kind == TFontKind::fkSystemB || kind == TFontKind::fkSystemBI)
            text.FFont.setBold(true);
        break;
    }
}

void TMSOfficeCaption::LoadSystemCaptionFont() {
    // The stock font: the application's, which the windows were laid out for.
    SystemCaptionFont = QApplication::font();
    // The caption font: the one Qt draws its own title bars with, which a platform theme may
    // name (its MDI title-bar font) and which otherwise follows the application's. The window
    // manager's title font is not known to programs on this platform.
    const QFont caption = QApplication::font("QMdiSubWindowTitleBar");
    QFont font;
    // By the family it resolves to: a name that only substitutions resolve (the application's
    // "MS Sans Serif") would be looked up anew, and its face loaded again, for each style of it.
    font.setFamily(QFontInfo(caption).family().left(32));
    if (caption.pixelSize() > 0)
        font.setPixelSize(caption.pixelSize());
    else if (caption.pointSizeF() > 0)
        font.setPointSizeF(caption.pointSizeF());
    font.setItalic(caption.italic());
    font.setBold(caption.weight() > QFont::Medium);
    font.setStyleHint(QFont::AnyStyle);
    SystemCaptionFont = font;
}

void TMSOfficeCaption::RefreshFrame() {
    LoadSystemCaptionFont();
    for (TCompanyText* text : {static_cast<TCompanyText*>(FAppNameText.get()),
                               static_cast<TCompanyText*>(FCaptionText.get()), FCompanyText.get()})
        ApplyFontKind(*text, text->FontKind());
    applyInsets();
    updateBar();
}

void TMSOfficeCaption::applyInsets() {
    WindowShape shape = Shape();
    const Insets target = NonClientInsets(shape, Metrics());
    if (target == applied)
        return;
    const int dl = target.left - applied.left;
    const int dt = target.top - applied.top;
    const int dr = target.right - applied.right;
    const int db = target.bottom - applied.bottom;
    applied = target;
    if (owner->layout()) {
        owner->setContentsMargins(owner->contentsMargins() + QMargins(dl, dt, dr, db));
    } else {
        // Controls at fixed positions move with the client area.
        for (QObject* child : owner->children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget && !widget->isWindow())
                widget->move(widget->pos() + QPoint(dl, dt));
        }
    }
    const QSize grow(dl + dr, dt + db);
    if (owner->minimumSize() == owner->maximumSize()) {
        owner->setFixedSize(owner->size() + grow);
        return;
    }
    if (!owner->minimumSize().isEmpty())
        owner->setMinimumSize(owner->minimumSize() + grow);
    const QSize max = owner->maximumSize();
    owner->setMaximumSize(max.width() >= QWIDGETSIZE_MAX ? max.width() : max.width() + grow.width(),
                          max.height() >= QWIDGETSIZE_MAX ? max.height()
                                                          : max.height() + grow.height());
    // A window not yet sized explicitly takes its size from its layout when it is shown.
    if (owner->testAttribute(Qt::WA_Resized))
        owner->resize(owner->size() + grow);
}

void TMSOfficeCaption::updateBar() {
    if (!owner)
        return;
    const Insets room = NonClientInsets(Shape(), Metrics());
    QRegion frame(owner->rect());
    frame -= QRect(room.left, room.top, owner->width() - room.left - room.right,
                   owner->height() - room.top - room.bottom);
    owner->update(frame);
}

bool TMSOfficeCaption::eventFilter(QObject* watched, QEvent* event) {
    if (watched != owner)
        return false;
    switch (event->type()) {
    case QEvent::Paint: {
        QPainter painter(owner);
        paintFrame(painter);
        PaintCaption(painter, IsFormActive());
        return false; // the window paints its client area as ever
    }
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        LastActive = event->type() == QEvent::WindowActivate;
        ActiveKnown = true;
        updateBar();
        return false;
    case QEvent::ActivationChange:
        LastActive = owner->isActiveWindow();
        ActiveKnown = true;
        updateBar();
        return false;
    case QEvent::WindowTitleChange:
    case QEvent::WindowIconChange:
    case QEvent::WindowStateChange:
    case QEvent::EnabledChange:
        updateBar();
        return false;
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::FontChange:
    case QEvent::ApplicationFontChange:
    case QEvent::StyleChange:
    case QEvent::ThemeChange:
    case QEvent::ScreenChangeInternal:
        glyphs.clear();
        RefreshFrame();
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return mouseEvent(event);
    case QEvent::KeyPress:
        return keyEvent(event);
    default:
        return false;
    }
}

bool TMSOfficeCaption::mouseEvent(QEvent* event) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    const QPoint global = mouse->globalPosition().toPoint();
    const WindowShape shape = Shape();
    const SystemMetrics metrics = Metrics();

    if (moving) {
        if (event->type() == QEvent::MouseMove)
            owner->move(global - moveGrip);
        else if (event->type() != QEvent::MouseButtonDblClick &&
                 (keyboardMove ? event->type() == QEvent::MouseButtonPress
                               : event->type() == QEvent::MouseButtonRelease))
            endMove(true);
        return true;
    }
    if (pressed) {
        const auto buttons = CaptionButtons(shape, metrics, NewShell);
        const auto it = std::find_if(buttons.begin(), buttons.end(),
                                     [this](const ButtonPlace& p) { return p.button == *pressed; });
        const bool inside = it != buttons.end() && it->rect.contains(pos.x(), pos.y());
        if (event->type() == QEvent::MouseButtonRelease) {
            const CaptionButton button = *pressed;
            pressed.reset();
            pressedInside = false;
            updateBar();
            if (inside)
                pressButton(button);
        } else if (inside != pressedInside) {
            pressedInside = inside;
            updateBar();
        }
        return true;
    }

    const Hit hit = HitTest(shape, metrics, NewShell, pos.x(), pos.y());
    if (hit.area == HitArea::Client)
        return false;
    const bool left = mouse->button() == Qt::LeftButton;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() == Qt::RightButton &&
            (hit.area == HitArea::Caption || hit.area == HitArea::Icon)) {
            ShowSystemMenu(global);
        } else if (!left) {
            break;
        } else if (hit.area == HitArea::Button) {
            const auto buttons = CaptionButtons(shape, metrics, NewShell);
            for (const ButtonPlace& place : buttons) {
                if (place.button == hit.button && place.enabled) {
                    pressed = place.button;
                    pressedInside = true;
                    updateBar();
                }
            }
        } else if (hit.area == HitArea::Icon) {
            const Rect caption = GetCaptionRect();
            ShowSystemMenu(owner->mapToGlobal(QPoint(caption.left, caption.bottom)));
        } else if (hit.area == HitArea::Caption) {
            if (!owner->isMaximized()) {
                moveGrip = global - owner->pos();
                startMove(false);
            }
        } else if (hit.area == HitArea::Frame && IsSizeable(shape.borderStyle) &&
                   !owner->isMaximized() && owner->windowHandle()) {
            Qt::Edges edges;
            edges.setFlag(Qt::LeftEdge, hit.leftEdge);
            edges.setFlag(Qt::TopEdge, hit.topEdge);
            edges.setFlag(Qt::RightEdge, hit.rightEdge);
            edges.setFlag(Qt::BottomEdge, hit.bottomEdge);
            if (edges)
                owner->windowHandle()->startSystemResize(edges);
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (!left)
            break;
        // As on a title bar: the icon closes, the bar maximises and restores.
        if (hit.area == HitArea::Icon)
            owner->close();
        else if (hit.area == HitArea::Caption && shape.maximiseBox && IsSizeable(shape.borderStyle))
            toggleMaximised();
        break;
    default:
        break;
    }
    return true;
}

bool TMSOfficeCaption::keyEvent(QEvent* event) {
    if (!moving || !keyboardMove)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const int step = key->modifiers().testFlag(Qt::ControlModifier) ? 1 : KeyboardMoveStep;
    switch (key->key()) {
    case Qt::Key_Left:
        owner->move(owner->pos() + QPoint(-step, 0));
        break;
    case Qt::Key_Right:
        owner->move(owner->pos() + QPoint(step, 0));
        break;
    case Qt::Key_Up:
        owner->move(owner->pos() + QPoint(0, -step));
        break;
    case Qt::Key_Down:
        owner->move(owner->pos() + QPoint(0, step));
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        endMove(true);
        break;
    case Qt::Key_Escape:
        endMove(false);
        break;
    default:
        break;
    }
    return true;
}

void TMSOfficeCaption::pressButton(CaptionButton button) {
    switch (button) {
    case CaptionButton::Close:
        owner->close();
        break;
    case CaptionButton::Minimise:
        owner->showMinimized();
        break;
    case CaptionButton::Maximise:
        toggleMaximised();
        break;
    case CaptionButton::Help:
        QWhatsThis::enterWhatsThisMode();
        break;
    }
}

void TMSOfficeCaption::toggleMaximised() {
    owner->isMaximized() ? owner->showNormal() : owner->showMaximized();
}

void TMSOfficeCaption::startMove(bool byKeyboard) {
    // The window manager moves the window where it can; otherwise the bar follows the mouse.
    if (!byKeyboard && owner->windowHandle() && owner->windowHandle()->startSystemMove())
        return;
    moving = true;
    keyboardMove = byKeyboard;
    moveOrigin = owner->pos();
    if (byKeyboard) {
        moveGrip = QCursor::pos() - owner->pos();
        owner->grabMouse();
        owner->grabKeyboard();
    }
}

void TMSOfficeCaption::endMove(bool keep) {
    if (!keep)
        owner->move(moveOrigin);
    if (keyboardMove) {
        owner->releaseKeyboard();
        owner->releaseMouse();
    }
    moving = keyboardMove = false;
}

void TMSOfficeCaption::ShowSystemMenu(const QPoint& globalPos) {
    const WindowShape shape = Shape();
    if (!shape.systemMenu || shape.borderStyle == TFormBorderStyle::bsNone)
        return;
    delete systemMenu.data();
    systemMenu = new QMenu(owner);
    systemMenu->setObjectName("SystemMenu");
    const bool maximised = owner->isMaximized();
    const bool minimised = owner->isMinimized();
    const auto add = [this](const QString& text, bool enabled, auto action) {
        QAction* item = systemMenu->addAction(text);
        item->setEnabled(enabled);
        connect(item, &QAction::triggered, this, action);
        return item;
    };
    add(tr("&Restore"), maximised || minimised, [this] { owner->showNormal(); });
    add(tr("&Move"), !maximised, [this] { startMove(true); });
    if (shape.borderStyle != TFormBorderStyle::bsDialog) {
        add(tr("Mi&nimize"), shape.minimiseBox && !minimised, [this] { owner->showMinimized(); });
        add(tr("Ma&ximize"), shape.maximiseBox && IsSizeable(shape.borderStyle) && !maximised,
            [this] { owner->showMaximized(); });
    }
    systemMenu->addSeparator();
    QAction* close = add(tr("&Close\tAlt+F4"), true, [this] { owner->close(); });
    QFont bold = close->font();
    bold.setBold(true);
    close->setFont(bold);
    systemMenu->popup(globalPos);
}

} // namespace Wordcap
