#pragma once

// The gradient title bar that every window of the program wears.
//
// The component takes over a window's title bar: it puts its event filter in front of the
// window's own handling, makes the window frameless (Qt::FramelessWindowHint, so the window
// manager draws no title bar of its own) and paints frame, title bar, caption buttons and
// texts itself. The window's client area keeps its designed size: the component grows the
// window by the frame and the title bar and moves the client content down and right by the
// same amount (a window with a layout gets the room as contents margins, one without has its
// direct child widgets moved), and gives it back when the component is deleted.
//
// The settings each window gives its component (one call from the window's constructor, after
// its controls are set up and before it is centred or shown):
//
//   main window       CoolCaption = TMSOfficeCaption::attach(this, {
//                         .appName = "Vallorin -", .appNameColor = clCaptionText,
//                         .captionColor = clInactiveCaptionText,
//                         .captionFont = <"MS Sans Serif", 11 px, bold, italic>});
//                     (caption: the window title "Control for Dr Solomon's AVTK"; single border)
//   About box         AboutCap = TMSOfficeCaption::attach(this, {
//                         .appName = "About Vallorin", .appNameColor = clAqua,
//                         .caption = "", .captionVisible = false,
//                         .borderStyle = TFormBorderStyle::bsSizeable});
//   add dialog        AddCaption = TMSOfficeCaption::attach(this, {
//                         .appName = "Vallorin -", .appNameColor = clAqua,
//                         .caption = "Add definition",
//                         .borderStyle = TFormBorderStyle::bsDialog});
//   remove dialog     RemoveCaption = TMSOfficeCaption::attach(this, {
//                         .appName = "Vallorin -", .appNameColor = clAqua,
//                         .caption = "Remove definitions",
//                         .borderStyle = TFormBorderStyle::bsDialog});
//   messages dialog   MessageCaption = TMSOfficeCaption::attach(this, {
//                         .appName = "Vallorin -", .appNameColor = clAqua,
//                         .caption = "Edit WinGuard messages",
//                         .borderStyle = TFormBorderStyle::bsDialog});
//
// In every window the company text is hidden, in bold italic system font, and holds
// CompanyWord; it is measured all the same.

#include "core/WordcapLayout.h"

#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QShortcut>
#include <QString>
#include <QStyle>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QWidget;

namespace Wordcap {

enum class TFontKind { fkCustom, fkSystem, fkSystemI, fkSystemB, fkSystemBI, fkAutoHeight };
enum class TGradEnabled { geAlways, geNever, geWhenActive };

class TMSOfficeCaption;

// A text of the title bar: its caption, colours and font.
class TCompanyText {
public:
    explicit TCompanyText(TMSOfficeCaption& owner);
    virtual ~TCompanyText() = default;
    TCompanyText(const TCompanyText&) = delete;
    TCompanyText& operator=(const TCompanyText&) = delete;

    virtual QString Caption() const { return FCaption; }
    virtual void SetCaption(const QString& caption) { FCaption = caption; }
    TColor ColorActive() const { return FColorActive; }
    void SetColorActive(TColor color) { FColorActive = color; }
    TColor ColorInactive() const { return FColorInactive; }
    void SetColorInactive(TColor color) { FColorInactive = color; }
    const QFont& Font() const { return FFont; }
    // Takes a copy; fitted when the kind is fkAutoHeight, otherwise the kind becomes fkCustom.
    void SetFont(const QFont& font);
    TFontKind FontKind() const { return FFontKind; }
    void SetFontKind(TFontKind kind);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible) { FVisible = visible; }

protected:
    friend class TMSOfficeCaption;
    TMSOfficeCaption& owner;
    QString FCaption;
    TColor FColorActive = clCaptionText;
    TColor FColorInactive = clInactiveCaptionText;
    QFont FFont;
    TFontKind FFontKind = TFontKind::fkSystem;
    bool FVisible = true;
};

class TAppNameText : public TCompanyText {
public:
    using TCompanyText::TCompanyText;
};

// The window's own caption: reading and writing it is reading and writing the window title.
class TCaptionText : public TCompanyText {
public:
    using TCompanyText::TCompanyText;
    QString Caption() const override;
    void SetCaption(const QString& caption) override;
};

// What a window gives its title bar in one call; unnamed settings keep their initial values.
struct CaptionSettings {
    QString appName = {};
    TColor appNameColor = clCaptionText;
    std::optional<QString> caption = {}; // the window title; unset keeps the window's own
    bool captionVisible = true;
    TColor captionColor = clCaptionText;
    std::optional<QFont> captionFont = {}; // a custom font (fkCustom); unset is the system font
    std::optional<TFormBorderStyle> borderStyle = {}; // unset: judged from the window's flags
};

class TMSOfficeCaption : public QObject {
    Q_OBJECT
public:
    // The hidden company word of every window.
    static inline const QString CompanyWord = "Tesmarine";

    // owner must be a window (a top-level widget); anything else is refused with an error.
    explicit TMSOfficeCaption(QWidget* owner);
    ~TMSOfficeCaption() override;

    // Creates the component on the window with the settings of that window.
    static TMSOfficeCaption* attach(QWidget* window, const CaptionSettings& settings);

    TAppNameText& AppNameText() { return *FAppNameText; }
    TCaptionText& CaptionText() { return *FCaptionText; }
    TCompanyText& CompanyText() { return *FCompanyText; }

    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    TGradEnabled Enabled() const { return FEnabled; }
    void SetEnabled(TGradEnabled enabled);
    int NumColors() const { return FNumColors; }
    void SetNumColors(int count);

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle style);

    // The platform draws title bars in the newer style (icon left, close button right). Qt
    // desktops all do, so it is true; the older, centred style is kept for completeness.
    bool NewShell = true;
    QFont SystemCaptionFont;

    QWidget* window() const { return owner; }
    // The texts the title bar shows, in their order, as one line: what the window is called.
    QString TitleText() const;
    // Activation as the title bar shows it: the last activation event, else the window's.
    bool IsFormActive() const;

    // The window's shape and metrics, as the layout routines take them.
    WindowShape Shape() const;
    SystemMetrics Metrics() const;
    // The title-bar rectangle in window coordinates.
    Rect GetCaptionRect() const;

    // A colour's current value, system colours resolved through the window's palette.
    TColor ResolveColor(TColor color) const;

    void FillGradient(QPainter& painter, TColor start, TColor end, const Rect& rect) const;
    int MeasureText(const TCompanyText& text) const;
    // Draws the text from rect.left (after 3 pixels) to rect.right; moves rect.left past it.
    void PaintText(QPainter& painter, const TCompanyText& text, Rect& rect, bool active) const;
    // Draws the small icon; moves rect.left past it.
    void PaintIcon(QPainter& painter, Rect& rect) const;
    // Composes the title bar (background, icon, texts, buttons) off screen and draws it on
    // the painter in one step; returns the caption rectangle (empty when nothing was painted).
    Rect PaintCaption(QPainter& painter, bool active);
    // The title bar as PaintCaption composes it, for the whole caption row.
    QPixmap ComposeCaption(bool active, Rect* caption = nullptr);

    void FitFontHeight(QFont& font) const;
    void ApplyFontKind(TCompanyText& text, TFontKind kind) const;
    void LoadSystemCaptionFont();

    // Re-derives the system-based fonts and the room the frame takes, then repaints.
    void RefreshFrame();

    // The window menu (Restore, Move, Minimise, Maximise, Close) at a global position.
    void ShowSystemMenu(const QPoint& globalPos);
    QMenu* SystemMenu() const { return systemMenu; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyInsets();
    void paintFrame(QPainter& painter) const;
    void paintButtons(QPainter& painter, const QPoint& origin) const;
    const QIcon& Glyph(QStyle::StandardPixmap which) const;
    void updateBar();
    bool mouseEvent(QEvent* event);
    bool keyEvent(QEvent* event);
    void pressButton(CaptionButton button);
    void toggleMaximised();
    void startMove(bool byKeyboard);
    void endMove(bool keep);
    void systemChanged();

    QPointer<QWidget> owner;
    Qt::WindowFlags originalFlags;
    std::unique_ptr<TAppNameText> FAppNameText;
    std::unique_ptr<TCaptionText> FCaptionText;
    std::unique_ptr<TCompanyText> FCompanyText;
    TColor FColor = clBlack;
    TGradEnabled FEnabled = TGradEnabled::geAlways;
    int FNumColors = 64;
    TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
    bool LastActive = true;
    bool ActiveKnown = false;

    Insets applied;                       // the room given to the frame so far
    std::optional<CaptionButton> pressed; // a caption button held down
    bool pressedInside = false;
    bool moving = false; // a manual move by mouse or keyboard
    bool keyboardMove = false;
    QPoint moveGrip;   // cursor position relative to the window's corner
    QPoint moveOrigin; // window position when the move started
    QPointer<QMenu> systemMenu;
    std::vector<QPointer<QShortcut>> shortcuts;             // Alt+F4 and Alt+Space
    mutable std::map<QStyle::StandardPixmap, QIcon> glyphs; // the buttons' glyphs, by style
};

} // namespace Wordcap

using Wordcap::TMSOfficeCaption;
