// Members shared by every scene object: the default primitive list, the "name" property and the
// box print-out used when inspecting a kd-tree build.
#include "scene/rtobjbase.h"

#include <cstdio>

#include "scene/dataelem.h"

float hitOffsetScale = 2.384185791015625e-06f;  // 2^-19

static_assert(alignof(Vec4f) > VelocityAndFlags::kFlagBits &&
                  __STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignof(Vec4f),
              "a velocity's address leaves the flags' bits free");

void VelocityAndFlags::set(const Vec4f& v) {
    const bool zero = v.x == 0.0f && v.y == 0.0f && v.z == 0.0f && v.w == 0.0f;
    Vec4f* kept = held();
    if (zero) {
        delete kept;
        word &= kFlagBits;
    } else if (kept) {
        *kept = v;
    } else {
        word = reinterpret_cast<uintptr_t>(new Vec4f(v)) | (word & kFlagBits);
    }
}

rtObjBase::~rtObjBase() = default;

void rtObjBase::printBoundingBox() const {
    const BoundingBox b = boundingBox();
    std::printf("BoundingBox min %g;%g;%g;%g max %g;%g;%g;%g\n", b.min.x, b.min.y, b.min.z, b.min.w,
                b.max.x, b.max.y, b.max.z, b.max.w);
    std::fflush(stdout);
}

void rtObjBase::collectPrimitives(std::vector<rtObjBase*>& list) { list.push_back(this); }

void rtObjBase::getProperties(Reader::PropertyList& list) { list.addString("name", name); }

void rtObjBase::update() {}

void rtObjBase::placeAtHole(const Vec4f&, float) {}

BodyMotion rtObjBase::motion() const {
    BodyMotion m;
    const Vec4f v = velocity();
    m.velocity = Vec4f(v.x, v.y, v.z, 0.0f);
    m.reference = referencePoint();
    return m;
}

void rtObjBase::addVelocity(Reader::PropertyList& list) {
    list.add(std::make_unique<Reader::ElemHeldVec>(
        QStringLiteral("velocity"), [this] { return velocity(); },
        [this](const Vec4f& v) { setVelocity(v); }));
}

bool rtObjBase::staticSphere(Vec4f&) const { return false; }
