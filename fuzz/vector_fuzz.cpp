// Fuzz target: the number, vector and string texts of the property elements, from the file
// (fromString) and from the editor row (readEditor), and their written forms.
#include <memory>

#include "fuzz/fuzzsupport.h"
#include "scene/dataelem.h"

namespace {
// An editor row holding a fixed text.
class Row : public Reader::EditorRow {
public:
    explicit Row(QString t) : t(std::move(t)) {}
    QString text() const override { return t; }
    void setText(const QString& text) override { t = text; }
    void showError(const QString&) override { ++errors; }
    QString t;
    int errors = 0;
};

class Factory : public Reader::EditorRowFactory {
public:
    explicit Factory(QString typed) : typed(std::move(typed)) {}
    Reader::EditorRow* addRow(const QString&, const QString&) override {
        row = std::make_unique<Row>(typed);
        return row.get();
    }
    QString typed;
    std::unique_ptr<Row> row;
};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::text(data, size);

    alignas(16) Vec4f v(1.0f, 2.0f, 3.0f, 4.0f);
    Reader::ElemVec vec(QStringLiteral("v"), v);
    const bool vecOk = vec.fromString(text);
    if (text.count(QLatin1Char(';')) != 3) {
        if (vecOk || v.x != 1.0f || v.w != 4.0f) __builtin_trap();  // refused and unchanged
    }
    if (vecOk) {
        // The written vector reads back.
        alignas(16) Vec4f back;
        Reader::ElemVec again(QStringLiteral("v"), back);
        if (!again.fromString(vec.toString())) __builtin_trap();
    }

    float f = 7.0f;
    Reader::ElemFloat number(QStringLiteral("f"), f);
    const bool floatOk = number.fromString(text);
    if (!floatOk && f != 0.0f) __builtin_trap();  // no number stores 0
    float back = 0.0f;
    Reader::ElemFloat again(QStringLiteral("f"), back);
    if (!again.fromString(number.toString())) __builtin_trap();

    QString s;
    Reader::ElemString str(QStringLiteral("s"), s);
    if (!str.fromString(text)) __builtin_trap();
    if (s.contains(QLatin1Char(' ')) || s.contains(QLatin1Char('\n'))) __builtin_trap();

    // The editor path: a refused text leaves the field as it was.
    Factory factory(text);
    float edited = 5.0f;
    Reader::ElemFloat editedNumber(QStringLiteral("e"), edited);
    editedNumber.createEditor(factory);
    if (!editedNumber.readEditor() && edited != 5.0f) __builtin_trap();
    alignas(16) Vec4f editedVec(1, 2, 3, 4);
    Reader::ElemVec editedVector(QStringLiteral("ev"), editedVec);
    editedVector.createEditor(factory);
    editedVector.readEditor();
    return 0;
}
