// Fresh names for new blackbody colours.
#include "ui/addableblackbody.h"

#include <QSet>
#include <QStringList>

#include "scene/colblackbody.h"

AddableBlackbody::AddableBlackbody(const QString& text, const ChangedElemVec<ColDiscrete>& colors_)
    : AddableObject<ColDiscrete>(text), colors(&colors_) {}

QString AddableBlackbody::freshName() const {
    // Listed names are the current versions (edits not yet applied); the held items still carry
    // the names they render under until the next frame, including those pending removal.
    QStringList listed;
    colors->getNames(listed);
    QSet<QString> taken(listed.begin(), listed.end());
    for (const ColDiscrete* item : colors->items) taken.insert(itemName(*item));
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("blackbody%1").arg(n);
        if (!taken.contains(name)) return name;
    }
}

ColDiscrete* AddableBlackbody::create() const {
    ColBlackbody* body = new ColBlackbody();
    body->name = freshName();
    return body;
}
