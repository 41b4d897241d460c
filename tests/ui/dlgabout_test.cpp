// The About box shows the version the project declares.
#include "ui/dlgabout.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>

#include "tests/ui/uitesthelpers.h"

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
};

TAVOLIN_UI_TEST_MAIN(DlgAboutTest)
#include "dlgabout_test.moc"
