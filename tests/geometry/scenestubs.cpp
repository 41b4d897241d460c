// Out-of-line members of the scene interfaces that the kd-tree tests link against until the
// scene library provides them.
#include <cstdio>

#include "scene/rtobjbase.h"
#include "scene/texture.h"

float hitOffsetScale = 2.384185791015625e-06f;

rtObjBase::~rtObjBase() = default;
void rtObjBase::printBoundingBox() const {}
void rtObjBase::collectPrimitives(std::vector<rtObjBase*>& list) { list.push_back(this); }
void rtObjBase::getProperties(Reader::PropertyList&) {}
void rtObjBase::update() {}

Texture::~Texture() = default;
