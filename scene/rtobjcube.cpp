// Parallelepiped as six owned parallelogram faces, rebuilt at each kd-tree build.
#include "scene/rtobjcube.h"

#include "base/programmingerror.h"
#include "scene/dataelem.h"
#include "scene/rtobjplane.h"
#include "scene/texturecol.h"

rtObjCube::~rtObjCube() {
    for (rtObjPlane*& f : faces) {
        delete f;
        f = nullptr;
    }
}

BoundingBox rtObjCube::boundingBox() const { programmingError("Function is not Supported"); }

void rtObjCube::resolveTextures(TextureCol& textures) {
    texturexy = textures.get(texxy);
    textureyz = textures.get(texyz);
    texturezx = textures.get(texzx);
}

void rtObjCube::collectPrimitives(std::vector<rtObjBase*>& list) {
    struct Pair {
        const Vec4f& a;
        const Vec4f& b;
        const Vec4f& third;
        float sa, sb;
        Texture* tex;
        const QString& name;
    };
    const Pair pairs[3] = {{x, y, z, sx, sy, texturexy, texxy},
                           {y, z, x, sy, sz, textureyz, texyz},
                           {z, x, y, sz, sx, texturezx, texzx}};
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < 2; ++j) {
            rtObjPlane*& face = faces[2 * k + j];
            delete face;
            face = new rtObjPlane();
            face->texture = pairs[k].tex;
            face->texname = pairs[k].name;
            face->pos = j == 0 ? pos : pos + pairs[k].third;
            face->x = pairs[k].a;
            face->y = pairs[k].b;
            face->sx = pairs[k].sa;
            face->sy = pairs[k].sb;
            face->update();
            list.push_back(face);
        }
    }
}

void rtObjCube::intersect1(SingleRay&, float&) const {}
void rtObjCube::intersect1Alt(SingleRay&, float&) const {}
bool rtObjCube::occluded1(const SingleRay&) const { return false; }
void rtObjCube::shade1(SingleRay&, float) const {}
LaneMask4 rtObjCube::intersect4(RayBundle4&) const { return LaneMask4(false); }
LaneMask4 rtObjCube::intersect4Alt(RayBundle4&) const { return LaneMask4(false); }
int rtObjCube::reserved4(int) const { return 0; }
void rtObjCube::shade4(RayBundle4&, LaneMask4) const {}

bool rtObjCube::intersect16(RayBundle16&, LaneMask4 hits[4]) const {
    for (int g = 0; g < 4; ++g) hits[g] = LaneMask4(false);
    return false;
}

bool rtObjCube::intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersect16(b, hits);
}

int rtObjCube::reserved16(int) const { return 0; }
void rtObjCube::shade16(RayBundle16&, const LaneMask4[4]) const {}

void rtObjCube::prepareForOrigin(const Vec4f& origin) {
    for (rtObjPlane* f : faces)
        if (f) f->prepareForOrigin(origin);
}

void rtObjCube::getProperties(Reader::PropertyList& list) {
    rtObjBase::getProperties(list);
    list.addVec("pos", pos);
    list.addVec("x", x);
    list.addVec("y", y);
    list.addVec("z", z);
    list.addFloat("sx", sx);
    list.addFloat("sy", sy);
    list.addFloat("sz", sz);
    list.addString("texxy", texxy);
    list.addString("texyz", texyz);
    list.addString("texzx", texzx);
    addVelocity(list);
}

void rtObjCube::update() {}

void rtObjCube::copyFrom(const rtObjBase& other) {
    const auto* o = dynamic_cast<const rtObjCube*>(&other);
    if (!o) programmingError("rtObjCube::copyFrom: the other object is not a cube");
    if (o == this) return;
    name = o->name;
    pos = o->pos;
    velocity = o->velocity;
    x = o->x;
    y = o->y;
    z = o->z;
    sx = o->sx;
    sy = o->sy;
    sz = o->sz;
    texxy = o->texxy;
    texyz = o->texyz;
    texzx = o->texzx;
    texturexy = o->texturexy;
    textureyz = o->textureyz;
    texturezx = o->texturezx;
    update();
}

rtObjBase* rtObjCube::clone() const {
    auto* copy = new rtObjCube();
    copy->copyFrom(*this);
    return copy;
}
