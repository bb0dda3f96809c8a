// The floor of the program's start-up: a bare window holding a page control with five tabs,
// with the same style and font as the program, and nothing else. Started as a process of its
// own by ProcessStartupBench.
#include <QApplication>
#include <QFont>
#include <QStyleFactory>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The style and font the program's window needs too: only what is beyond them is its own.
    QApplication::setStyle(QStyleFactory::create("Windows"));
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    app.setFont(font);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget;
    for (const char* caption :
         {" Find viruses ", "Repair drives", "Disk integrity", "WinGuard", "  View reports "})
        tabs->addTab(new QWidget, caption);
    layout->addWidget(tabs);
    window.resize(401, 453);
    window.show();
    return app.exec();
}
