// The edit dock's item list: the names asked for only as the combo draws them, whatever the
// count, and the combo following a new listing as it followed its items cleared and inserted
// again (the first row current, or none).
#include "ui/itemlistmodel.h"

#include "tests/ui/uitesthelpers.h"
#include "ui/editableobj.h"

namespace {

// A category of items named "item I", counting the names asked for.
class CountingCategory : public EditableObj {
public:
    explicit CountingCategory(int count) : EditableObj("counting"), count(count) {}

    int listItems() override { return count; }
    QString listedName(int index) const override {
        ++asked;
        return QString("item %1").arg(index);
    }
    bool applyEdit() override { return false; }
    void activate(QWidget*, QBoxLayout*, int) override {}
    void makeInactive() override {}
    void newItemTypes(QStringList&) const override {}
    void createNew(QWidget*, QBoxLayout*, int) override {}
    bool deleteItem(int) override { return false; }
    bool isActive() const override { return false; }
    bool editsNewItem() const override { return false; }
    QWidget* editorWidget() const override { return nullptr; }
    PropertyRowFactory* editorRows() const override { return nullptr; }

    const int count;
    mutable long asked = 0;
};

}  // namespace

class ItemListModelTest : public QObject {
    Q_OBJECT

private slots:
    void namesOnlyWhatTheComboDraws_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("chosen");
        QTest::newRow("none") << 0 << -1;
        QTest::newRow("one") << 1 << 0;
        QTest::newRow("a few") << 7 << 6;
        QTest::newRow("a big scene's objects") << 200000 << 123456;
    }

    void namesOnlyWhatTheComboDraws() {
        QFETCH(int, count);
        QFETCH(int, chosen);
        QWidget window;
        auto* combo = new QComboBox(&window);
        (new QVBoxLayout(&window))->addWidget(combo);
        ItemListModel* list = ItemListModel::listIn(combo, 16);
        QCOMPARE(combo->model(), list);
        window.show();
        CountingCategory before(3), category(count);
        list->show(&before);
        combo->setCurrentIndex(2);
        QSignalSpy chosenRows(combo, &QComboBox::currentIndexChanged);

        list->show(&category);
        QApplication::processEvents();
        QCOMPARE(combo->count(), count);
        QCOMPARE(combo->currentIndex(), count > 0 ? 0 : -1);
        QCOMPARE(chosenRows.size(), 1);
        QCOMPARE(chosenRows.takeFirst().at(0).toInt(), combo->currentIndex());
        if (count > 0) {
            combo->setCurrentIndex(chosen);
            QApplication::processEvents();
            QCOMPARE(combo->currentText(), QString("item %1").arg(chosen));
            QCOMPARE(combo->itemText(count - 1), QString("item %1").arg(count - 1));
        }
        // The rows drawn and asked for, not the whole list: a screenful at the most.
        QVERIFY2(category.asked <= 40, qPrintable(QString::number(category.asked)));

        // The list drops down below the combo, with a scroll bar when it is long: laid over
        // the combo instead, the combo would measure every row before it opens.
        if (count > 0) {
            combo->showPopup();
            QApplication::processEvents();
            QWidget* popup = combo->view()->window();
            QVERIFY(popup->isVisible());
            QVERIFY2(
                popup->geometry().top() >= combo->mapToGlobal(QPoint(0, combo->height())).y() - 2,
                "the list is laid over the combo");
            QCOMPARE(combo->view()->verticalScrollBar()->isVisible(),
                     count > combo->maxVisibleItems());
            QVERIFY2(category.asked <= 80, qPrintable(QString::number(category.asked)));
            combo->hidePopup();
        }

        list->show(nullptr);
        QCOMPARE(combo->count(), 0);
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QString());
    }
};

TAVOLIN_UI_TEST_MAIN(ItemListModelTest)
#include "itemlistmodel_test.moc"
