#include "support/FormFixture.h"

#include "caption/Wordcap.h"
#include "platform/VallorinError.h"

#include <QApplication>
#include <QLabel>
#include <QShortcut>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace Wordcap;

namespace {

// Windows 95's own metrics, so that every rectangle below can be worked out by hand.
const SystemMetrics Win95;

WindowShape Shape(TFormBorderStyle style, int width = 300, int height = 200) {
    WindowShape shape;
    shape.width = width;
    shape.height = height;
    shape.borderStyle = style;
    return shape;
}

TColor Direct(const QColor& color) {
    return RGB(color.red(), color.green(), color.blue());
}

} // namespace

// ---- Arithmetic

TEST(WordcapArithmetic, MulDivRoundsHalvesAwayFromZero) {
    struct Case {
        int a, b, c, expected;
    };
    const Case cases[] = {
        {1, 300, 64, 5},
        {2, 300, 64, 9},
        {7, 1, 2, 4},
        {5, 1, 2, 3},
        {-5, 1, 2, -3},
        {5, -1, 2, -3},
        {-5, -1, 2, 3},
        {1, 1, 3, 0},
        {2, 1, 3, 1},
        {3, 5, 0, -1},
        {0, 7, 3, 0},
        {65536, 65536, 2, -1},
        {65536, 65536, 4, 1073741824},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " " << c.b << " " << c.c;
}

TEST(WordcapArithmetic, BandsOfThe300PixelExample) {
    const TColor navy = RGB(0, 0, 128);
    const auto bands = GradientBands(clBlack, navy, 0, 300, 64);
    ASSERT_EQ(bands.size(), 64u);
    for (int i = 0; i < 64; ++i) {
        // Independent of MulDiv: std::lround also rounds halves away from zero.
        EXPECT_EQ(bands[i].left, std::lround(i * 300.0 / 64)) << i;
        EXPECT_EQ(bands[i].right, std::lround((i + 1) * 300.0 / 64)) << i;
        EXPECT_EQ(bands[i].color, RGB(0, 0, int(std::lround(i * 128.0 / 63)))) << i;
    }
    EXPECT_EQ(bands[0], (Band{0, 5, clBlack}));
    EXPECT_EQ(bands[1], (Band{5, 9, RGB(0, 0, 2)}));
    EXPECT_EQ(bands[63], (Band{295, 300, navy}));
}

TEST(WordcapArithmetic, BandCountsAndColoursAtTheEnds) {
    const TColor from = RGB(200, 10, 0);
    const TColor to = RGB(0, 250, 40);
    // One band is all start colour.
    EXPECT_EQ(GradientBands(from, to, 10, 310, 1), (std::vector<Band>{{10, 310, from}}));
    EXPECT_EQ(GradientBands(from, to, 10, 310, 2),
              (std::vector<Band>{{10, 160, from}, {160, 310, to}}));
    // More bands than pixels: some are empty, together they still cover the bar exactly.
    const auto many = GradientBands(from, to, 0, 100, 256);
    ASSERT_EQ(many.size(), 256u);
    EXPECT_EQ(many.front().color, from);
    EXPECT_EQ(many.back().color, to);
    EXPECT_EQ(many.front().left, 0);
    EXPECT_EQ(many.back().right, 100);
    int empty = 0;
    for (std::size_t i = 1; i < many.size(); ++i) {
        EXPECT_EQ(many[i].left, many[i - 1].right);
        empty += many[i].left == many[i].right;
    }
    EXPECT_GT(empty, 0);
}

TEST(WordcapArithmetic, NumColorsIsClamped) {
    struct Case {
        int requested, expected;
    };
    for (const Case c :
         {Case{1, 1}, {2, 2}, {256, 256}, {257, 256}, {100000, 256}, {0, 64}, {-3, 64}}) {
        EXPECT_EQ(ClampNumColors(64, c.requested), c.expected) << c.requested;
    }
}

TEST(WordcapArithmetic, CaptionRectangleOfEachBorderStyle) {
    using B = TFormBorderStyle;
    struct Case {
        const char* name;
        WindowShape shape;
        bool newShell;
        Rect expected;
    };
    WindowShape single = Shape(B::bsSingle);
    single.maximiseBox = false;
    WindowShape dialog = Shape(B::bsDialog);
    WindowShape help = dialog;
    help.helpButton = true;
    WindowShape minimised = Shape(B::bsSizeable);
    minimised.minimised = true;
    WindowShape bare = Shape(B::bsSizeable);
    bare.systemMenu = bare.minimiseBox = bare.maximiseBox = false;
    const Case cases[] = {
        {"none", Shape(B::bsNone), true, {}},
        // Fixed frame 3, close 18 + 2, minimise/maximise pair 2 × 18.
        {"single", single, true, {3, 3, 241, 21}},
        {"sizeable", Shape(B::bsSizeable), true, {4, 4, 240, 22}},
        {"dialog", dialog, true, {3, 3, 277, 21}},
        {"dialog with help", help, true, {3, 3, 257, 21}},
        {"tool window", Shape(B::bsToolWindow), true, {3, 3, 280, 17}},
        {"sizeable tool window", Shape(B::bsSizeToolWin), true, {4, 4, 279, 18}},
        {"minimised", minimised, true, {3, 3, 241, 21}},
        {"no buttons", bare, true, {4, 4, 296, 22}},
        // The older style: a system-menu box on the left and no close button of its own.
        {"older single", single, false, {21, 3, 261, 21}},
        {"older dialog", dialog, false, {3, 3, 297, 21}},
        // Too narrow for the buttons: two pixels are left.
        {"narrow", Shape(B::bsSizeable, 40), true, {4, 4, 6, 22}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetCaptionRect(c.shape, Win95, c.newShell), c.expected) << c.name;
}

TEST(WordcapArithmetic, IconOnlyForSingleAndSizeableWindowsWithSystemMenu) {
    using B = TFormBorderStyle;
    WindowShape noMenu = Shape(B::bsSingle);
    noMenu.systemMenu = false;
    EXPECT_TRUE(GetsIcon(Shape(B::bsSingle), true));
    EXPECT_TRUE(GetsIcon(Shape(B::bsSizeable), true));
    EXPECT_FALSE(GetsIcon(Shape(B::bsDialog), true));
    EXPECT_FALSE(GetsIcon(Shape(B::bsToolWindow), true));
    EXPECT_FALSE(GetsIcon(noMenu, true));
    EXPECT_FALSE(GetsIcon(Shape(B::bsSizeable), false));
}

TEST(WordcapArithmetic, ButtonsSitInTheRoomKeptFree) {
    WindowShape single = Shape(TFormBorderStyle::bsSingle);
    single.maximiseBox = false;
    const auto buttons = CaptionButtons(single, Win95, true);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0], (ButtonPlace{CaptionButton::Close, {279, 5, 295, 19}, true}));
    EXPECT_EQ(buttons[1], (ButtonPlace{CaptionButton::Maximise, {261, 5, 277, 19}, false}));
    EXPECT_EQ(buttons[2], (ButtonPlace{CaptionButton::Minimise, {245, 5, 261, 19}, true}));
    const Rect caption = GetCaptionRect(single, Win95, true);
    for (const ButtonPlace& place : buttons)
        EXPECT_GE(place.rect.left, caption.right);

    EXPECT_EQ(HitTest(single, Win95, true, 285, 10).area, HitArea::Button);
    EXPECT_EQ(HitTest(single, Win95, true, 285, 10).button, CaptionButton::Close);
    EXPECT_EQ(HitTest(single, Win95, true, 6, 8).area, HitArea::Icon);
    EXPECT_EQ(HitTest(single, Win95, true, 100, 10).area, HitArea::Caption);
    EXPECT_EQ(HitTest(single, Win95, true, 100, 100).area, HitArea::Client);
    const Hit corner = HitTest(single, Win95, true, 1, 198);
    EXPECT_EQ(corner.area, HitArea::Frame);
    EXPECT_TRUE(corner.leftEdge && corner.bottomEdge && !corner.topEdge && !corner.rightEdge);
}

TEST(WordcapArithmetic, TextsFitCompanyFirstThenAppName) {
    // Measures 50, 60 and 100 (widths 47, 57 and 97 plus 3).
    struct Case {
        int room;
        TextFit expected;
    };
    for (const Case& c : {Case{211, {true, true, 210}}, Case{210, {false, true, 160}},
                          Case{161, {false, true, 160}}, Case{160, {false, false, 100}},
                          Case{20, {false, false, 100}}}) {
        EXPECT_EQ(FitTexts(50, 60, 100, c.room), c.expected) << c.room;
    }
}

TEST(WordcapArithmetic, PlanDrawsTheTextsInTurn) {
    const Rect caption{3, 3, 241, 21};
    const TextInput hiddenCompany{47, false, false};
    const TextInput appName{57, true, false};
    const TextInput text{97, true, false};
    struct Case {
        const char* name;
        Rect caption;
        bool newShell;
        TextInput company;
        std::vector<TextPlace> expected;
    };
    const Case cases[] = {
        // Icon at 5..21, pen at 21; app name from 24, caption text 3 after its 57 pixels.
        {"new style", caption, true, hiddenCompany, {{1, 24, 241}, {2, 84, 241}}},
        {"company shown",
         caption,
         true,
         {47, true, false},
         {{0, 24, 241}, {1, 74, 241}, {2, 134, 241}}},
        // Room 238: all three need 210 and are centred, (238 − 210) div 2 = 14 in; the hidden
        // company counts, so the texts sit (50 − 3) div 2 further left than with an empty one.
        {"older, hidden company fits", caption, false, hiddenCompany, {{1, 20, 241}, {2, 80, 241}}},
        {"older, empty company", caption, false, {0, false, true}, {{1, 43, 241}, {2, 103, 241}}},
        // Too narrow for the app name: the caption text alone, cut at the bar's end.
        {"narrow", {3, 3, 150, 21}, true, hiddenCompany, {{2, 24, 150}}},
    };
    for (const Case& c : cases) {
        const CaptionPlan plan =
            PlanCaption(c.caption, c.newShell, Win95, c.newShell, c.company, appName, text);
        EXPECT_EQ(plan.texts, c.expected) << c.name;
    }
    // With the older style no icon is drawn; with the newer one it sits 2 pixels in.
    EXPECT_EQ(PlanCaption(caption, true, Win95, true, hiddenCompany, appName, text).iconRect,
              (Rect{5, 4, 21, 20}));
    // A hidden caption text and an empty app name draw nothing.
    const CaptionPlan none =
        PlanCaption(caption, true, Win95, true, hiddenCompany, {0, true, true}, {97, false, false});
    EXPECT_TRUE(none.texts.empty());
}

TEST(WordcapArithmetic, FontHeightFitsInAtMostTwoPasses) {
    // A font whose character height is 1 more than its height asks for, below 20 pixels.
    const auto measure = [](int height) { return -height < 20 ? -height + 1 : -height; };
    EXPECT_EQ(FitHeight(-30, 13, measure), -12); // −30 → −13 (measures 14) → −12
    EXPECT_EQ(FitHeight(-13, 13, [](int height) { return -height; }), -13);
}

// ---- The component on a window

class WordcapWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        window->setWindowTitle("Control for Dr Solomon's AVTK");
        child = new QLabel("client", window.get());
        child->setGeometry(10, 20, 100, 30);
        window->setFixedSize(320, 200);
        QPalette palette = window->palette();
        palette.setColor(QPalette::Active, QPalette::Highlight, navy);
        palette.setColor(QPalette::Active, QPalette::Dark, grey);
        window->setPalette(palette);
    }

    TMSOfficeCaption* attach(const CaptionSettings& settings = {.appName = "Vallorin -"}) {
        caption = TMSOfficeCaption::attach(window.get(), settings);
        return caption;
    }

    // The title bar as a grab of the whole window shows it.
    QImage grabBar() { return window->grab().toImage(); }

    const QColor navy = QColor(0, 0, 128);
    const QColor grey = QColor(128, 128, 128);
    std::unique_ptr<QWidget> window;
    QLabel* child = nullptr;
    TMSOfficeCaption* caption = nullptr;
};

TEST_F(WordcapWindow, OnlyAWindowCanWearIt) {
    EXPECT_THROW(TMSOfficeCaption{child}, VallorinError);
    EXPECT_THROW(TMSOfficeCaption{nullptr}, VallorinError);
}

TEST_F(WordcapWindow, ClientAreaKeepsItsSizeAndTheRoomIsGivenBack) {
    attach();
    const Insets room = NonClientInsets(caption->Shape(), caption->Metrics());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(caption->BorderStyle(), TFormBorderStyle::bsSingle);
    EXPECT_GT(room.top, room.left);
    EXPECT_EQ(window->size(), QSize(320 + room.left + room.right, 200 + room.top + room.bottom));
    EXPECT_EQ(child->pos(), QPoint(10 + room.left, 20 + room.top));
    delete caption;
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window->size(), QSize(320, 200));
    EXPECT_EQ(child->pos(), QPoint(10, 20));
}

TEST(WordcapLayoutWindow, ALaidOutWindowGetsTheRoomAsContentsMargins) {
    QWidget dialog(nullptr, Qt::Dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel("Enter name for the new definition (max 30 characters):"));
    auto* caption = TMSOfficeCaption::attach(
        &dialog, {.appName = "Vallorin -", .appNameColor = clAqua, .caption = "Add definition"});
    EXPECT_EQ(caption->BorderStyle(), TFormBorderStyle::bsSizeable); // not fixed in size
    const Insets room = NonClientInsets(caption->Shape(), caption->Metrics());
    EXPECT_EQ(dialog.contentsMargins(), QMargins(room.left, room.top, room.right, room.bottom));
    caption->SetBorderStyle(TFormBorderStyle::bsDialog);
    const Insets fixed = NonClientInsets(caption->Shape(), caption->Metrics());
    EXPECT_EQ(dialog.contentsMargins(), QMargins(fixed.left, fixed.top, fixed.right, fixed.bottom));
    EXPECT_EQ(dialog.windowTitle(), "Add definition");
}

TEST_F(WordcapWindow, SettersAndFontKinds) {
    attach();
    caption->SetNumColors(0);
    EXPECT_EQ(caption->NumColors(), 64);
    caption->SetNumColors(1000);
    EXPECT_EQ(caption->NumColors(), 256);

    TCompanyText& company = caption->CompanyText();
    EXPECT_FALSE(company.Visible());
    EXPECT_EQ(company.FontKind(), TFontKind::fkSystemBI);
    EXPECT_TRUE(company.Font().bold() && company.Font().italic());
    EXPECT_TRUE(caption->AppNameText().Font().bold());
    EXPECT_FALSE(caption->AppNameText().Font().italic());

    // A bold system font stays bold when italic is added.
    caption->SystemCaptionFont.setBold(true);
    company.SetFontKind(TFontKind::fkSystemI);
    EXPECT_TRUE(company.Font().bold() && company.Font().italic());

    QFont big("DejaVu Sans");
    big.setPixelSize(30);
    company.SetFont(big);
    EXPECT_EQ(company.FontKind(), TFontKind::fkCustom);
    EXPECT_EQ(company.Font().pixelSize(), 30);
    company.SetFontKind(TFontKind::fkAutoHeight);
    EXPECT_EQ(QFontInfo(company.Font()).pixelSize(),
              QFontInfo(caption->SystemCaptionFont).pixelSize());

    // The caption text is the window's title, both ways.
    caption->CaptionText().SetCaption("Edit WinGuard messages");
    EXPECT_EQ(window->windowTitle(), "Edit WinGuard messages");
    window->setWindowTitle("Other");
    EXPECT_EQ(caption->CaptionText().Caption(), "Other");
}

TEST_F(WordcapWindow, SystemChangeRederivesSystemFontsOnly) {
    QFont custom("DejaVu Sans");
    custom.setPixelSize(11);
    custom.setItalic(true);
    attach({.appName = "Vallorin -", .captionFont = custom});
    // Fonts derived from a stale system font, as after the user changed the caption font.
    QFont stale = caption->SystemCaptionFont;
    stale.setPixelSize(3);
    caption->SystemCaptionFont = stale;
    caption->ApplyFontKind(caption->AppNameText(), TFontKind::fkSystemB);
    ASSERT_EQ(caption->AppNameText().Font().pixelSize(), 3);

    for (const QEvent::Type type : {QEvent::ApplicationFontChange, QEvent::PaletteChange}) {
        caption->SystemCaptionFont = stale;
        caption->ApplyFontKind(caption->AppNameText(), TFontKind::fkSystemB);
        QEvent change(type);
        QApplication::sendEvent(window.get(), &change);
        EXPECT_NE(caption->AppNameText().Font().pixelSize(), 3) << type;
        EXPECT_TRUE(caption->AppNameText().Font().bold());
        EXPECT_EQ(caption->CaptionText().FontKind(), TFontKind::fkCustom);
        EXPECT_EQ(caption->CaptionText().Font(), custom);
    }
}

TEST_F(WordcapWindow, MeasureIgnoresTheAcceleratorMark) {
    attach();
    TCompanyText& text = caption->AppNameText();
    text.SetCaption("Add");
    const int plain = caption->MeasureText(text);
    text.SetCaption("&Add");
    EXPECT_EQ(caption->MeasureText(text), plain);
    EXPECT_GT(plain, 3 + QFontMetrics(text.Font()).horizontalAdvance("Ad"));
}

// The bands as they land on the screen: the first black, the last the caption colour, each
// band where the arithmetic puts it.
TEST_F(WordcapWindow, GrabbedBarShowsTheGradientBands) {
    attach({.appName = "", .captionVisible = false, .borderStyle = TFormBorderStyle::bsDialog});
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const Rect bar = caption->GetCaptionRect();
    const QImage image = grabBar();
    const int y = (bar.top + bar.bottom) / 2;
    const auto bands = GradientBands(clBlack, Direct(navy), bar.left, bar.right, 64);
    EXPECT_EQ(image.pixelColor(bar.left, y), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(bar.right - 1, y), navy);
    for (const Band& band : bands) {
        if (band.right > band.left) {
            EXPECT_EQ(Direct(image.pixelColor(band.left, y)), band.color) << band.left;
        }
    }
    // The room of the buttons has the caption colour, the client area is the window's own.
    EXPECT_EQ(image.pixelColor(bar.right + 1, bar.top), navy);
    EXPECT_NE(image.pixelColor(child->x() - 1, child->y()), navy);
}

TEST_F(WordcapWindow, SolidBarWhenTheGradientIsOff) {
    struct Case {
        TGradEnabled enabled;
        bool active;
        bool gradient;
    };
    attach({.appName = "", .captionVisible = false, .borderStyle = TFormBorderStyle::bsDialog});
    window->show();
    for (const Case c :
         {Case{TGradEnabled::geWhenActive, false, false},
          Case{TGradEnabled::geWhenActive, true, true}, Case{TGradEnabled::geNever, true, false},
          Case{TGradEnabled::geAlways, false, true}}) {
        caption->SetEnabled(c.enabled);
        QEvent activation(c.active ? QEvent::WindowActivate : QEvent::WindowDeactivate);
        QApplication::sendEvent(window.get(), &activation);
        const QColor colour = c.active ? navy : grey;
        const Rect bar = caption->GetCaptionRect();
        const QImage image = grabBar();
        const int y = (bar.top + bar.bottom) / 2;
        EXPECT_EQ(image.pixelColor(bar.left, y), c.gradient ? QColor(Qt::black) : colour)
            << int(c.enabled) << c.active;
        EXPECT_EQ(image.pixelColor(bar.right - 1, y), colour) << int(c.enabled) << c.active;
    }
}

TEST_F(WordcapWindow, ActivationChangeRepaintsInTheInactiveColour) {
    attach();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(caption->IsFormActive());
    const Rect bar = caption->GetCaptionRect();
    EXPECT_EQ(grabBar().pixelColor(bar.right - 1, bar.bottom - 1), navy);

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    window->installEventFilter(&counter);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(window.get(), &deactivate);
    QTRY_VERIFY(counter.paints > 0);
    EXPECT_FALSE(caption->IsFormActive());
    EXPECT_EQ(grabBar().pixelColor(bar.right - 1, bar.bottom - 1), grey);
    window->removeEventFilter(&counter);
}

TEST_F(WordcapWindow, TitleBarDragMovesAndButtonsAct) {
    attach();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const Rect bar = caption->GetCaptionRect();
    const QPoint grip((bar.left + bar.right) / 2, (bar.top + bar.bottom) / 2);
    const QPoint before = window->pos();
    QTest::mousePress(window.get(), Qt::LeftButton, {}, grip);
    QTest::mouseMove(window.get(), grip + QPoint(30, 12));
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, grip + QPoint(30, 12));
    EXPECT_EQ(window->pos(), before + QPoint(30, 12));

    const auto buttons = CaptionButtons(caption->Shape(), caption->Metrics(), true);
    ASSERT_EQ(buttons.front().button, CaptionButton::Close);
    const Rect close = buttons.front().rect;
    QTest::mouseClick(window.get(), Qt::LeftButton, {},
                      QPoint((close.left + close.right) / 2, (close.top + close.bottom) / 2));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WordcapWindow, AltF4ClosesAndAltSpaceOpensTheWindowMenu) {
    attach();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Space, Qt::AltModifier);
    ASSERT_NE(caption->SystemMenu(), nullptr);
    QTRY_VERIFY(caption->SystemMenu()->isVisible());
    QStringList items;
    for (const QAction* action : caption->SystemMenu()->actions()) {
        if (!action->isSeparator())
            items << action->text() + (action->isEnabled() ? "" : " (off)");
    }
    // A fixed window without a maximise box: restore and maximise are off.
    EXPECT_EQ(items, QStringList({"&Restore (off)", "&Move", "Mi&nimize", "Ma&ximize (off)",
                                  "&Close\tAlt+F4"}));
    caption->SystemMenu()->close();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(window->isVisible());
}

// ---- The main window

class WordcapMainWindow : public FormFixture {};

TEST_F(WordcapMainWindow, MainWindowWearsTheTitleBarAroundItsDesignedClientArea) {
    TMainForm& main = start();
    ASSERT_NE(main.CoolCaption, nullptr);
    TMSOfficeCaption& caption = *main.CoolCaption;
    EXPECT_EQ(caption.BorderStyle(), TFormBorderStyle::bsSingle);
    EXPECT_EQ(caption.AppNameText().Caption(), "Vallorin -");
    EXPECT_EQ(caption.CaptionText().Caption(), "Control for Dr Solomon's AVTK");
    EXPECT_EQ(caption.CaptionText().ColorActive(), clInactiveCaptionText);
    EXPECT_EQ(caption.CaptionText().FontKind(), TFontKind::fkCustom);
    EXPECT_TRUE(caption.CaptionText().Font().bold() && caption.CaptionText().Font().italic());
    EXPECT_EQ(caption.AppNameText().ColorActive(), clCaptionText);
    EXPECT_FALSE(caption.CompanyText().Visible());

    const Insets room = NonClientInsets(caption.Shape(), caption.Metrics());
    EXPECT_EQ(main.size(), QSize(401 + room.left + room.right, 453 + room.top + room.bottom));
    EXPECT_EQ(main.Main.PageControl->pos(), QPoint(4 + room.left, 4 + room.top));

    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    const Rect bar = caption.GetCaptionRect();
    const QImage active = main.grab().toImage();
    const QColor highlight = main.palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(active.pixelColor(bar.left, bar.bottom - 1), QColor(Qt::black));
    EXPECT_EQ(active.pixel(bar.right - 1, bar.bottom - 1), highlight.rgb());
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&main, &deactivate);
    const QImage inactive = main.grab().toImage();
    EXPECT_EQ(inactive.pixel(bar.right - 1, bar.bottom - 1),
              main.palette().color(QPalette::Active, QPalette::Dark).rgb());
    if (const QByteArray shots = qgetenv("WORDCAP_SHOTS"); !shots.isEmpty()) {
        active.save(QString::fromLocal8Bit(shots + "/main-active.png"));
        inactive.save(QString::fromLocal8Bit(shots + "/main-inactive.png"));
    }
}
