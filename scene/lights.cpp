// The light record's property list.
#include "scene/lights.h"

#include "scene/dataelem.h"

void Lights::getProperties(Reader::PropertyList& list) {
    list.addFloat("intensity", intensity);
    list.addVec("pos", pos);
    list.addString("name", name);
}
