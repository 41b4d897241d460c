// Defaults a desktop user relies on: screenshots and films go to the pictures folder (created
// when missing), and the edit dock's delete button has an icon of its own.
#include <QDir>
#include <QStandardPaths>
#include <QToolButton>

#include "engine/docrt.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgfilm.h"
#include "ui/dlgscreenshot.h"
#include "ui/dockeditobjects.h"
#include "ui/picturesfolder.h"

class DesktopDefaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        quietOffscreenWarnings();
        QStandardPaths::setTestModeEnabled(true);
    }

    void picturesFolderIsCreatedAndUsed() {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QVERIFY(!pictures.isEmpty());
        QDir(pictures).removeRecursively();
        QVERIFY(!QDir(pictures).exists());
        QCOMPARE(picturesFolder(), pictures);
        QVERIFY(QDir(pictures).exists());
        QCOMPARE(QFileInfo(DlgScreenshot::defaultFileName()).absolutePath(), pictures);
        QCOMPARE(QFileInfo(DlgFilm::defaultFileName()).absolutePath(), pictures);
    }

    void deleteHasAnIconOfItsOwn() {
        DocRT doc;
        QWidget window;
        DockEditObjects dock(&window, &doc);
        const QImage icon = dock.deleteButton()->icon().pixmap(16, 16).toImage();
        QVERIFY(!icon.isNull());
        const QImage doppler = QIcon(":/settings/SRTDoppler.ico").pixmap(16, 16).toImage();
        QVERIFY(!doppler.isNull());
        QVERIFY(icon.convertToFormat(QImage::Format_ARGB32) !=
                doppler.convertToFormat(QImage::Format_ARGB32));
    }
};

TAVOLIN_UI_TEST_MAIN(DesktopDefaultsTest)
#include "desktopdefaults_test.moc"
