// Tests of the About box: version from the build, licence, credits and its OK button.
#include "ui/dlgabout.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

class DlgAboutTest : public QObject {
    Q_OBJECT

private slots:
    // The version shown is the one the top-level CMakeLists.txt declares for the project.
    void versionIsTheProjectVersion() {
        QFile cmake(QStringLiteral(TAVOLIN_SOURCE_DIR) + "/CMakeLists.txt");
        QVERIFY(cmake.open(QIODevice::ReadOnly));
        const QRegularExpression re(R"(project\s*\(\s*Tavolin\s+VERSION\s+([0-9.]+))");
        const QRegularExpressionMatch m = re.match(QString::fromUtf8(cmake.readAll()));
        QVERIFY(m.hasMatch());
        QCOMPARE(DlgAbout::version(), m.captured(1));

        DlgAbout about;
        auto* title = about.findChild<QLabel*>("label");
        QVERIFY(title);
        QVERIFY(title->text().contains("Tavolin " + m.captured(1)));
    }

    void textNamesLicenceAndPhysicsCredits() {
        DlgAbout about;
        auto* text = about.findChild<QLabel*>("label_2");
        QVERIFY(text);
        const QString t = text->text();
        for (const char* needle : {"GPL-3.0-or-later", "Einstein", "1905", "Schwarzschild", "1916",
                                   "photon sphere", "aberrat", "Doppler", "Qt"}) {
            QVERIFY2(t.contains(QLatin1String(needle)), needle);
        }
        QVERIFY(t.contains(QLatin1String(QT_VERSION_STR)));
    }

    void licenceFileIsTheGplVersion3() {
        QFile licence(QStringLiteral(TAVOLIN_SOURCE_DIR) + "/LICENSE");
        QVERIFY(licence.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(licence.readAll());
        QVERIFY(text.contains("GNU GENERAL PUBLIC LICENSE"));
        QVERIFY(text.contains("Version 3, 29 June 2007"));
        QVERIFY(text.contains("END OF TERMS AND CONDITIONS"));
    }

    void okAcceptsTheDialog() {
        DlgAbout about;
        about.show();
        auto* box = about.findChild<QDialogButtonBox*>();
        QVERIFY(box);
        QCOMPARE(box->buttons().size(), 1);
        QPushButton* ok = box->button(QDialogButtonBox::Ok);
        QVERIFY(ok);
        QTimer::singleShot(0, ok, &QPushButton::click);
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QVERIFY(!about.isVisible());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DlgAboutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dlgabout_test.moc"
