// The edit dock's "New Blackbody Color" kind: a blackbody colour named "blackbody" followed by
// the first number that no listed colour uses, so that textures can find it by name at once.
#pragma once

#include <QString>

#include "scene/changedelemvec.h"
#include "ui/editableobj.h"

class ColDiscrete;

class AddableBlackbody : public AddableObject<ColDiscrete> {
public:
    // colors: the change list of the scene's colours (not owned), whose listed names (pending
    // additions and edits included) the new name must avoid. GUI thread only.
    AddableBlackbody(const QString& text, const ChangedElemVec<ColDiscrete>& colors);

    // A new ColBlackbody (6500 K, luminance 1) with a fresh name; the caller owns it.
    ColDiscrete* create() const override;

    // "blackbody1", "blackbody2", ...: the first that is neither listed nor held by the list.
    QString freshName() const;

private:
    const ChangedElemVec<ColDiscrete>* colors;
};
