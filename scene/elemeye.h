// The eye a scene was made for, as an optional property of the render settings in scene files.
#pragma once

#include "scene/dataelem.h"
#include "scene/eye.h"

namespace Reader {

// Text "cie1931" for the CIE 1931 eye, or the nine wavelengths lo;peak;hi of the red, green and
// blue curves (each as ElemFloat writes it). Written only when the eye is not the default one,
// so files that never named an eye keep their bytes; not shown in the edit dock.
class ElemEye : public DataElem {
public:
    ElemEye(const QString& name_, Eye& field) : DataElem(name_), value(&field) {}
    // False (the eye unchanged) unless the text is "cie1931" or nine numbers with every curve's
    // lo < peak < hi.
    bool fromString(const QString& text) override;
    QString toString() const override;
    void writeXml(int indent, QTextStream& out) override;

private:
    Eye* value;
};

}  // namespace Reader
