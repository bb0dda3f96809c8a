#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TAboutFm;
}

// The About box: created for one showing, centred on the screen, freed when it closes.
class TAboutFm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutFm(QWidget* parent = nullptr);
    ~TAboutFm() override;

    std::unique_ptr<Ui::TAboutFm> ui;

    // The banner of the About box, drawn for its picture.
    static QPixmap BannerPicture(const QSize& size);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void btnOKClick();
};
