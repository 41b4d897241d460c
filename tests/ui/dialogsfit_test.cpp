// Every dialog (each tab, each eye preset) and the edit dock's pages, opened from the main window
// at its start size and at 1280 x 720 as the user opens them: each fits a 1280 x 720 screen,
// shows every label whole inside the window, no label overlaps another control, and the dock
// keeps its width with its rows at their natural height. With TAVOLIN_UI_SHOTS naming a folder,
// a picture of each is saved there for a look.
#include <algorithm>
#include <vector>

#include "base/traceoutput.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgeye.h"
#include "ui/dockeditobjects.h"
#include "ui/mainwindow.h"

namespace {

const QSize kSmallScreen(1280, 720);

// The visible controls a user reads or operates, without the containers around them.
QList<QWidget*> leafControls(QWidget* top) {
    QList<QWidget*> leaves;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->width() <= 0 || w->height() <= 0) continue;
        for (const char* kind : {"QLabel", "QAbstractButton", "QLineEdit", "QComboBox",
                                 "QAbstractSpinBox", "QSlider", "QPlainTextEdit", "QProgressBar"})
            if (w->inherits(kind)) leaves << w;
    }
    return leaves;
}

// What is wrong with one open window, for the failure message.
QStringList problemsOf(QWidget* window) {
    QStringList problems;
    QCoreApplication::processEvents();
    const QSize hint = window->sizeHint();
    if (hint.width() > kSmallScreen.width() || hint.height() > kSmallScreen.height())
        problems << QStringLiteral("size hint %1x%2").arg(hint.width()).arg(hint.height());
    if (window->width() > kSmallScreen.width() || window->height() > kSmallScreen.height())
        problems << QStringLiteral("size %1x%2").arg(window->width()).arg(window->height());
    const QList<QWidget*> leaves = leafControls(window);
    for (QWidget* w : leaves) {
        const QRect box(w->mapTo(window, QPoint(0, 0)), w->size());
        auto* label = qobject_cast<QLabel*>(w);
        const QString id = label ? '"' + label->text().left(30) + '"' : w->objectName();
        if (!window->rect().contains(box)) problems << id + " lies outside the window";
        if (!label || label->text().isEmpty() || label->wordWrap()) continue;
        const QSize want = label->sizeHint();
        if (label->width() < want.width() || label->height() < want.height())
            problems << id + QStringLiteral(" is cut to %1x%2").arg(w->width()).arg(w->height());
        for (QWidget* other : leaves) {
            if (other == w || other->isAncestorOf(w) || w->isAncestorOf(other)) continue;
            if (box.intersects(QRect(other->mapTo(window, QPoint(0, 0)), other->size())))
                problems << id + " overlaps " + other->objectName();
        }
    }
    return problems;
}

// The rows of the edit dock sit at their natural height: no gap between the controls above the
// Apply button is larger than twice the layout spacing; the free room belongs below the button.
QString gapsOf(DockEditObjects* dock) {
    QWidget* form = dock->widget();
    const int limit = 2 * form->layout()->spacing();
    const int end = dock->applyButton()->mapTo(form, QPoint(0, 0)).y();
    std::vector<std::pair<int, int>> spans;  // top, bottom of each control above the button
    QList<QWidget*> parts = leafControls(form);
    for (QWidget* w : form->findChildren<QWidget*>())  // separator lines
        if (w->isVisible() && w->findChildren<QWidget*>().isEmpty()) parts << w;
    for (QWidget* w : parts) {
        const int top = w->mapTo(form, QPoint(0, 0)).y();
        if (top < end) spans.emplace_back(top, top + w->height());
    }
    spans.emplace_back(end, end);
    std::sort(spans.begin(), spans.end());
    int reached = spans.front().second;
    for (const auto& [top, bottom] : spans) {
        if (top - reached > limit) return QStringLiteral("a gap of %1 pixels").arg(top - reached);
        reached = std::max(reached, bottom);
    }
    return {};
}

}  // namespace

class DialogsFitTest : public QObject {
    Q_OBJECT

private slots:
    void everyDialogFitsAndShowsItsLabels_data() {
        QTest::addColumn<QSize>("windowSize");
        QTest::newRow("start size") << QSize();
        QTest::newRow("1280x720") << kSmallScreen;
    }

    void everyDialogFitsAndShowsItsLabels() {
        QFETCH(QSize, windowSize);
        MainWindow w;
        if (windowSize.isValid()) w.resize(windowSize);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TraceOutput::setEnabled(false);
        QStringList problems;
        auto check = [&](QWidget* window, const QString& name) {
            saveShotIfAsked(window, name + (windowSize.isValid() ? "-1280x720" : ""));
            for (const QString& p : problemsOf(window)) problems << name + ": " + p;
        };
        // Every tab of a dialog, and the eye dialog with each preset (their notes differ).
        auto checkPages = [&](QDialog* dialog, const QString& name) {
            check(dialog, name);
            for (QTabWidget* tabs : dialog->findChildren<QTabWidget*>())
                for (int i = 1; i < tabs->count(); ++i) {
                    tabs->setCurrentIndex(i);
                    check(dialog, name + QStringLiteral("-tab%1").arg(i + 1));
                }
            if (auto* presets = dialog->findChild<QComboBox*>("defaultWavelengths"))
                for (int i = 1; i < presets->count(); ++i) {
                    presets->setCurrentIndex(i);
                    check(dialog, name + QStringLiteral("-preset%1").arg(i + 1));
                }
        };

        // Modeless dialogs stay open beside the window; modal ones are looked at from within
        // their own event loop.
        for (const char* name :
             {"actionViewFilm", "actionViewBHLightPath", "actionVisibleWavelength",
              "actionRenderOptions", "actionSaveScreenshot", "actionHelpAbout"}) {
            bool seen = false;
            auto look = [&] {
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (auto* d = qobject_cast<QDialog*>(top); d && d->isVisible()) {
                        seen = true;
                        checkPages(d, QString(name).mid(6));
                        d->reject();
                    }
            };
            QTimer::singleShot(300, this, look);
            w.findChild<QAction*>(name)->trigger();
            QTRY_VERIFY2(seen, name);
        }

        // The edit dock, on each of its pages; another page does not push the view aside.
        w.findChild<QAction*>("actionEditObjects")->setChecked(true);
        auto* dock = w.findChild<DockEditObjects*>();
        QTRY_VERIFY(dock->isVisible());
        const int dockWidth = dock->width();
        for (int i = 0; i < dock->categoryCombo()->count(); ++i) {
            dock->categoryCombo()->setCurrentIndex(i);
            const QString page = "edit-dock-" + dock->categoryCombo()->itemText(i);
            check(dock, page);
            if (const QString gaps = gapsOf(dock); !gaps.isEmpty()) problems << page + ": " + gaps;
            if (dock->width() != dockWidth)
                problems << page + QStringLiteral(": %1 pixels wide").arg(dock->width());
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
};

QTEST_MAIN(DialogsFitTest)
#include "dialogsfit_test.moc"
