// The About box: what Tavolin is, its version and licence, and whose physics it draws on.
#pragma once

#include <QDialog>

class QLabel;

class DlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit DlgAbout(QWidget* parent = nullptr);

    // The version the program was built as (the CMake project version).
    static QString version();

private:
    QLabel* label = nullptr;    // the title line with the version
    QLabel* label_2 = nullptr;  // the description, licence and credits
};
