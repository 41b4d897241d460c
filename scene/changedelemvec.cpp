// The per-family name and copy rules that ChangedElemVec and ItemCollection use.
#include "scene/changedelemvec.h"

#include "scene/coldiscrete.h"
#include "scene/lights.h"
#include "scene/rtobjbase.h"
#include "scene/texture.h"

QString itemName(const ColDiscrete& item) { return item.name; }
QString itemName(const Texture& item) { return item.texname; }
QString itemName(const rtObjBase& item) { return item.name; }
QString itemName(const Lights& item) { return item.name; }

void takeOverFields(ColDiscrete& target, const ColDiscrete& copy) { target.assignFrom(copy); }
void takeOverFields(Texture& target, const Texture& copy) { target.copyFrom(copy); }
void takeOverFields(rtObjBase& target, const rtObjBase& copy) { target.copyFrom(copy); }
void takeOverFields(Lights& target, const Lights& copy) { target = copy; }
