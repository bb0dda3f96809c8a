#include "Application.h"

#include "platform/qt/StyleIcons.h"
#include "shell/Accessibility.h"
#include "shell/Artwork.h"

#include "BuildConfig.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QStyleFactory>

#include <algorithm>

namespace {

// The classic style with the narrow tab margins of the page control the pages were laid out
// for: five captions side by side in the window's width.
class ClassicStyle : public QProxyStyle {
public:
    ClassicStyle() : QProxyStyle(QStyleFactory::create("Windows")) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace)
            return 8;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// The family Qt would draw a font of this name in: the name itself when installed, else the
// first of its substitutes that is. The fonts are named by it: by a name that only the
// substitutions resolve, each style of the font would be looked up anew (a failed search
// first) and its face loaded once more for every name it was asked by.
QString InstalledFamily(const QString& name) {
    const QStringList candidates = QStringList(name) + QFont::substitutes(name);
    const auto installed =
        std::find_if(candidates.begin(), candidates.end(),
                     [](const QString& family) { return QFontDatabase::hasFamily(family); });
    return installed != candidates.end() ? *installed : name;
}

} // namespace

void SetUpApplication(QApplication& app) {
    QApplication::setApplicationName("Vallorin");
    QApplication::setApplicationVersion(BuildConfig::Version);
    // The desktop matches the windows with the installed desktop entry (and its icon) by this.
    QGuiApplication::setDesktopFileName(BuildConfig::DesktopId);
    InstallAccessibility();
    QApplication::setStyle(new ClassicStyle);
    QApplication::setWindowIcon(CompiledPicture(ProgramIconPicture));
    // The windows were laid out for an 8-point "MS Sans Serif" (11 pixels high); Liberation Sans
    // has the metrics of the sans-serif faces that stood in for it, DejaVu Sans comes last.
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arimo", "DejaVu Sans"});
    QFont font(InstalledFamily("MS Sans Serif"));
    font.setPixelSize(11);
    app.setFont(font);
}
