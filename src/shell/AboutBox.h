#pragma once

#include <QDialog>

#include <memory>

namespace SignatureDatabase {
struct State;
}

namespace Ui {
class TAboutFm;
}

namespace Wordcap {
class TMSOfficeCaption;
}

// The About box: created for one showing, centred on the screen, freed when it closes.
class TAboutFm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutFm(QWidget* parent = nullptr);
    ~TAboutFm() override;

    std::unique_ptr<Ui::TAboutFm> ui;

    // The line that names the ClamAV database the scanner reads, or says there is none.
    static QString SignaturesText(const SignatureDatabase::State& database);

    // The banner of the About box, drawn for its picture.
    static QPixmap BannerPicture(const QSize& size);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void btnOKClick();
    Wordcap::TMSOfficeCaption* AboutCap = nullptr; // the title bar
};
