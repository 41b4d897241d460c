// What a scene file may hold beyond its syntax: finite numbers, positive sizes, edges of planes
// and cubes that span an area or a volume, accretion disks with an axis and sensible radii. The
// reader refuses a file that breaks a rule, and the edit dock refuses an edit that would: every
// scene the program accepts saves to a file that loads back.
#pragma once

#include <QString>
#include <QStringList>

#include "geometry/vec4f.h"

namespace Reader {

class DataElem;
class PropertyList;

// Checks the value a property of an item of the file tag holds, read back from its element so
// that the check sees exactly what would be written. False with why for a NaN, an infinity, a
// size that is not positive, a zero edge, or a velocity not slower than light. Texts and colours
// are not numbers and pass.
bool checkNumbers(const QString& tag, const QString& name, const DataElem* element, QString& why);

// Checks, once a plane's or cube's properties are complete, that no two of its edges are
// parallel and that a cube's three edges do not lie in one plane: such an object is a line or a
// flat box, never what its author meant. Other tags pass; so do missing properties (null list),
// which keep the objects' default edges. edges, when given, receives the names of the edges at
// fault.
bool checkEdgePairs(const QString& tag, const PropertyList* properties, QString& why,
                    QStringList* edges = nullptr);
// The same from the item's own edge fields x, y and z (a plane's z is not read), without a
// property list: the quick reading of a big scene's boxes.
bool checkEdgePairs(const QString& tag, const Vec4f* const fields[3], QString& why);

// Checks, once an accretion disk's ("newdisk") properties are complete, that its normal is not
// zero, rin is 0 (the innermost stable orbit) or positive and below rout, and tmax lies in the
// blackbody colours' range (300 to 1000000 K). Other tags pass; faulty as for checkEdgePairs.
bool checkDisk(const QString& tag, const PropertyList* properties, QString& why,
               QStringList* faulty = nullptr);

// Every rule of a complete item: checkEdgePairs, then checkDisk.
bool checkItem(const QString& tag, const PropertyList* properties, QString& why,
               QStringList* faulty = nullptr);

}  // namespace Reader
