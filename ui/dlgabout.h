// The About box: what Tavolin is, its version and licence, and whose physics it draws on.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class DlgAbout;
}

class DlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit DlgAbout(QWidget* parent = nullptr);
    ~DlgAbout() override;

    // The version the program was built as (the CMake project version).
    static QString version();

private:
    std::unique_ptr<Ui::DlgAbout> ui;
};
