// Every dialog (each tab, each eye preset, the screenshot's progress) and the edit dock's pages,
// opened from the main window at its start size and at 1280 x 720 as the user opens them: each
// fits a 1280 x 720 screen, shows every label whole inside the window, no label overlaps another
// control, and the dock keeps its width with its rows at their natural height. With
// TAVOLIN_UI_SHOTS naming a folder, a picture of each is saved there for a look.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <vector>

#include "geometry/traceoutput.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgeye.h"
#include "ui/dlgscreenshot.h"
#include "ui/dockeditobjects.h"
#include "ui/mainwindow.h"

namespace {

const QSize kSmallScreen(1280, 720);

// The visible controls a user reads or operates, without the containers around them.
QList<QWidget*> leafControls(QWidget* top) {
    QList<QWidget*> leaves;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->width() <= 0 || w->height() <= 0) continue;
        if (w->inherits("QLabel") || w->inherits("QAbstractButton") || w->inherits("QLineEdit") ||
            w->inherits("QComboBox") || w->inherits("QAbstractSpinBox") || w->inherits("QSlider") ||
            w->inherits("QPlainTextEdit") || w->inherits("QProgressBar"))
            leaves << w;
    }
    return leaves;
}

// The checks on one open window; the failure names the window and the control.
QString problemsOf(QWidget* window, const QString& name) {
    QStringList problems;
    QCoreApplication::processEvents();
    const QSize hint = window->sizeHint();
    if (hint.width() > kSmallScreen.width() || hint.height() > kSmallScreen.height())
        problems << QStringLiteral("size hint %1x%2").arg(hint.width()).arg(hint.height());
    if (window->width() > kSmallScreen.width() || window->height() > kSmallScreen.height())
        problems << QStringLiteral("size %1x%2").arg(window->width()).arg(window->height());
    const QList<QWidget*> leaves = leafControls(window);
    const QRect inside = window->rect();
    for (QWidget* w : leaves) {
        const QRect box(w->mapTo(window, QPoint(0, 0)), w->size());
        const QString id = QStringLiteral("%1 \"%2\"")
                               .arg(QString::fromLatin1(w->metaObject()->className()),
                                    w->inherits("QLabel") ? static_cast<QLabel*>(w)->text().left(30)
                                                          : w->objectName());
        if (!inside.contains(box)) problems << id + QStringLiteral(" lies outside the window");
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty() || label->wordWrap()) continue;
            const QSize want = label->sizeHint();
            if (label->width() < want.width() || label->height() < want.height())
                problems << id + QStringLiteral(" is cut: %1x%2 of %3x%4")
                                     .arg(label->width())
                                     .arg(label->height())
                                     .arg(want.width())
                                     .arg(want.height());
            for (QWidget* other : leaves) {
                if (other == label || other->isAncestorOf(label) || label->isAncestorOf(other))
                    continue;
                const QRect otherBox(other->mapTo(window, QPoint(0, 0)), other->size());
                if (box.intersects(otherBox) && !label->text().isEmpty())
                    problems << id + QStringLiteral(" overlaps ") +
                                    QString::fromLatin1(other->metaObject()->className()) +
                                    QStringLiteral(" ") + other->objectName();
            }
        }
    }
    qInfo("%s: %dx%d%s", qPrintable(name), window->width(), window->height(),
          problems.isEmpty() ? " OK" : qPrintable(": " + problems.join("; ")));
    saveShotIfAsked(window, name);
    return problems.join(QStringLiteral("; "));
}

// The rows of the edit dock sit at their natural height, one under the other: no gap between
// them (above the Apply button) is larger than twice the layout spacing; the free room belongs
// below the button.
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
    std::sort(spans.begin(), spans.end());
    int reached = spans.empty() ? end : spans.front().second;
    for (const auto& [top, bottom] : spans) {
        if (top - reached > limit)
            return QStringLiteral("a gap of %1 pixels at y = %2").arg(top - reached).arg(reached);
        reached = std::max(reached, bottom);
    }
    if (end - reached > limit)
        return QStringLiteral("a gap of %1 pixels above the Apply button").arg(end - reached);
    return {};
}

QList<QDialog*> visibleDialogs() {
    QList<QDialog*> dialogs;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) dialogs << d;
    return dialogs;
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
        const QString suffix = windowSize.isValid() ? QStringLiteral("-1280x720") : QString();
        MainWindow w;
        if (windowSize.isValid()) w.resize(windowSize);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TraceOutput::setEnabled(false);
        QStringList problems;
        auto check = [&](QWidget* window, const QString& name) {
            const QString found = problemsOf(window, name + suffix);
            if (!found.isEmpty()) problems << name + QStringLiteral(": ") + found;
        };

        // Every tab of a dialog, and the eye dialog with each preset (their notes differ).
        auto checkPages = [&](QDialog* dialog, const QString& name) {
            check(dialog, name);
            for (QTabWidget* tabs : dialog->findChildren<QTabWidget*>()) {
                for (int i = 1; i < tabs->count(); ++i) {
                    tabs->setCurrentIndex(i);
                    check(dialog, name + QStringLiteral("-tab%1").arg(i + 1));
                }
                tabs->setCurrentIndex(0);
            }
            if (auto* eye = qobject_cast<DlgEye*>(dialog)) {
                QComboBox* presets = eye->presetCombo();
                for (int i = 1; i < presets->count(); ++i) {
                    presets->setCurrentIndex(i);
                    check(dialog, name + QStringLiteral("-preset%1").arg(i + 1));
                }
                presets->setCurrentIndex(0);
            }
        };

        // Dialogs that stay open beside the window.
        const std::pair<const char*, const char*> modeless[] = {
            {"actionViewFilm", "film"},
            {"actionViewBHLightPath", "black-hole-light-path"},
            {"actionVisibleWavelength", "eye"},
            {"actionRenderOptions", "render-options"}};
        for (const auto& [actionName, name] : modeless) {
            const QList<QDialog*> before = visibleDialogs();
            w.findChild<QAction*>(actionName)->trigger();
            QList<QDialog*> opened;
            QTRY_VERIFY(!(opened = visibleDialogs()).isEmpty() && opened != before);
            QDialog* dialog = *std::find_if(opened.begin(), opened.end(),
                                            [&](QDialog* d) { return !before.contains(d); });
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            checkPages(dialog, QString::fromLatin1(name));
            dialog->close();
        }

        // Modal dialogs: looked at from within their own event loop, then closed.
        const std::pair<const char*, const char*> modal[] = {{"actionSaveScreenshot", "screenshot"},
                                                             {"actionHelpAbout", "about"}};
        QTemporaryDir folder;
        for (const auto& [actionName, name] : modal) {
            bool seen = false;
            QTimer::singleShot(300, this, [&, name = name] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    seen = true;
                    checkPages(dialog, QString::fromLatin1(name));
                    // The screenshot's progress, on a picture large enough to show it a while.
                    if (auto* shot = qobject_cast<DlgScreenshot*>(dialog)) {
                        shot->customButton()->setChecked(true);
                        shot->widthBox()->setValue(4000);
                        shot->heightBox()->setValue(3000);
                        shot->fileNameEdit()->setText(folder.filePath("shot.png"));
                        shot->clickOk();
                        QProgressDialog* progress = shot->progressDialog();
                        if (progress && QTest::qWaitForWindowExposed(progress))
                            check(progress, QStringLiteral("screenshot-progress"));
                        else
                            problems << QStringLiteral("no screenshot progress shown");
                        shot->abortRendering();
                    }
                    dialog->reject();
                }
            });
            w.findChild<QAction*>(actionName)->trigger();
            QVERIFY2(seen, name);
        }

        // The edit dock, on each of its pages.
        w.findChild<QAction*>("actionEditObjects")->setChecked(true);
        auto* dock = w.findChild<DockEditObjects*>();
        QVERIFY(dock);
        QTRY_VERIFY(dock->isVisible());
        int dockWidth = -1;
        for (int i = 0; i < dock->categoryCombo()->count(); ++i) {
            dock->categoryCombo()->setCurrentIndex(i);
            QCoreApplication::processEvents();
            const QString page = QStringLiteral("edit-dock-") +
                                 dock->categoryCombo()->itemText(i).toLower().replace(' ', '-');
            check(dock, page);
            if (const QString gaps = gapsOf(dock); !gaps.isEmpty())
                problems << page + QStringLiteral(": ") + gaps;
            // Another page does not push the view aside.
            if (dockWidth >= 0 && dock->width() != dockWidth)
                problems << page + QStringLiteral(": the dock went from %1 to %2 pixels wide")
                                       .arg(dockWidth)
                                       .arg(dock->width());
            dockWidth = dock->width();
        }
        saveShotIfAsked(&w, QStringLiteral("main-window-with-dock") + suffix);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
};

QTEST_MAIN(DialogsFitTest)
#include "dialogsfit_test.moc"
