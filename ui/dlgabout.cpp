// The About box: a short description of the program, its version, licence and credits.
#include "ui/dlgabout.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>
#include <QtGlobal>

#ifndef TAVOLIN_VERSION
#define TAVOLIN_VERSION "unknown"
#endif

DlgAbout::DlgAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("DlgAbout");
    setWindowTitle(tr("About Tavolin"));

    auto* layout = new QVBoxLayout(this);
    layout->setObjectName("verticalLayout");

    label = new QLabel(this);
    label->setObjectName("label");
    label->setTextFormat(Qt::RichText);
    label->setText(tr("<h2>Tavolin %1</h2>").arg(version()));
    layout->addWidget(label);

    label_2 = new QLabel(this);
    label_2->setObjectName("label_2");
    label_2->setTextFormat(Qt::RichText);
    label_2->setWordWrap(true);
    label_2->setOpenExternalLinks(true);
    label_2->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label_2->setMinimumWidth(460);
    label_2->setText(
        tr("<p>Tavolin shows what an observer flying close to the speed of light would see. "
           "Every picture is ray-traced with the effects of special relativity: the directions "
           "of the incoming light are aberrated, so the world crowds into the direction of "
           "flight, and every spectral line of every colour is Doppler-shifted and seen through "
           "an adjustable three-channel eye. A black hole can bend the light on its way.</p>"
           "<p>Licence: GNU General Public License, version 3 or (at your option) any later "
           "version (GPL-3.0-or-later). This program comes with ABSOLUTELY NO WARRANTY; see the "
           "file LICENSE for details.</p>"
           "<p><b>Physics</b><br>"
           "Aberration of light and the relativistic Doppler effect: A. Einstein, "
           "<i>Zur Elektrodynamik bewegter K&ouml;rper</i>, Annalen der Physik 17 (1905).<br>"
           "Light bending by a black hole: K. Schwarzschild, <i>&Uuml;ber das Gravitationsfeld "
           "eines Massenpunktes nach der Einsteinschen Theorie</i>, Sitzungsberichte der "
           "K&ouml;niglich Preu&szlig;ischen Akademie der Wissenschaften (1916); light paths "
           "and the photon sphere at one and a half Schwarzschild radii follow from his "
           "metric.</p>"
           "<p>Built with the Qt toolkit %1 (running on Qt %2), "
           "<a href=\"https://www.qt.io\">www.qt.io</a>.</p>")
            .arg(QT_VERSION_STR, qVersion()));
    layout->addWidget(label_2);

    auto* buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttonBox->setObjectName("buttonBox");
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttonBox);
}

QString DlgAbout::version() { return QStringLiteral(TAVOLIN_VERSION); }
