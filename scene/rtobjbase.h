// The renderable things of a scene. Each object reports its box for the kd-tree, intersects
// single rays and 4- and 16-ray bundles for the traversal, and colours the pixels of the rays
// that hit it through its texture. Ray-facing operations only read the object and write into
// the caller's ray record, so one object serves all render threads at once.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "base/objectarena.h"
#include "geometry/boundingbox.h"
#include "geometry/raybundle.h"
#include "scene/sharedtext.h"

class ColDiscrete;
class Texture;
class TextureCol;

// How a body moves through the scene frame. A body at rest has velocity 0; a moving one is met by
// rays in its own rest frame, where it has the shape its properties give.
struct BodyMotion {
    Vec4f velocity;   // x, y, z in units of the speed of light, |v| < 1
    Vec4f reference;  // the body's point that is at this place at scene time 0
    // Scene times in which the body exists (all time but for the moving sphere).
    float tmin = -__builtin_inff();
    float tmax = __builtin_inff();
    // The moving sphere ("movsphere"): it meets rays in its own space-time test unless light
    // travel time is on, when it is a body with velocity mov whose reference event is (tmin,
    // center).
    bool spaceTime = false;
};
namespace Reader {
class PropertyList;
}

// 2^-19: length scale of the offset that an object writes along its normal on a hit.
extern float hitOffsetScale;

// Relative room around the hit bounds, in units of the coordinates' magnitude: far above the
// float rounding of the hit tests (a near-tangent sphere root is off by up to sqrt(2 eps) of the
// distance, about 3.5e-4).
constexpr float kHitBoundsMargin = 2e-3f;

// An object's velocity and its two small flags in one word. Nearly every object of a big scene is
// at rest, so the velocity is held apart, and only while it is not zero: the word is its address,
// 16-byte aligned, with the flags in the four low bits, and a sphere at rest takes 64 bytes
// instead of 80. Copies hold copies of the velocity.
class VelocityAndFlags {
public:
    static constexpr uintptr_t kFlagBits = 15;

    VelocityAndFlags() = default;
    VelocityAndFlags(const VelocityAndFlags& other) : word(other.flags()) { set(other.get()); }
    VelocityAndFlags& operator=(const VelocityAndFlags& other) {
        if (this != &other) {
            set(other.get());
            setFlags(other.flags());
        }
        return *this;
    }
    ~VelocityAndFlags() { delete held(); }

    // Zero while none is held.
    Vec4f get() const {
        const Vec4f* v = held();
        return v ? *v : Vec4f(0.0f, 0.0f, 0.0f, 0.0f);
    }
    // A velocity of four zeros frees the one held.
    void set(const Vec4f& v);
    unsigned flags() const { return unsigned(word & kFlagBits); }
    void setFlags(unsigned f) { word = (word & ~kFlagBits) | (f & kFlagBits); }

private:
    Vec4f* held() const { return reinterpret_cast<Vec4f*>(word & ~kFlagBits); }

    uintptr_t word = 0;
};

class rtObjBase {
public:
    SharedText name;

    virtual ~rtObjBase();

    // The "velocity" property of spheres, planes and cubes: x, y, z in units of the speed of
    // light (w unused). Written to files only when it is not zero.
    Vec4f velocity() const { return traits.get(); }
    void setVelocity(const Vec4f& v) { traits.set(v); }

    // Whether the object keeps its hit bounds in rtObjBounded, where the traversal reads them
    // without a call (keptHitBounds).
    bool keepsHitBounds() const { return (traits.flags() & kKeepsBit) != 0; }
    // How the 16-ray walk on 16-lane registers tests the object: through its virtual
    // intersect16, which gathers the bundle's directions again, or as a parallelogram or a cube
    // from the directions the walk keeps in registers (parallelogramOf, cubeOf in their headers).
    enum class WideTest : uint8_t { Call, Parallelogram, Cube };
    WideTest wideTest() const { return WideTest(traits.flags() >> kWideTestShift); }

    // A big scene's objects live in huge pages (see base/objectarena.h).
    static void* operator new(std::size_t bytes) { return objectarena::allocate(bytes); }
    static void operator delete(void* p, std::size_t bytes) { objectarena::deallocate(p, bytes); }

    virtual BoundingBox boundingBox() const = 0;
    // Where the 4- and 16-ray intersections can accept a ray: every accepted hit point lies
    // inside (x, y, z; w unused), with room for the rounding of the object's own arithmetic
    // (see kHitBoundsMargin). The bundle traversal skips an object whose hit bounds miss every
    // ray segment of a bundle. Everywhere unless the class narrows it; valid after update().
    // Asked for, not a field of every object: the sphere at rest, the commonest object of big
    // scenes, works it out from its centre and radius and so is 32 bytes smaller.
    virtual BoundingBox hitBounds() const { return BoundingBox::everywhere(); }
    virtual void printBoundingBox() const;
    virtual void resolveTextures(TextureCol& textures) = 0;
    // Appends what the kd-tree is to hold: the object itself.
    virtual void collectPrimitives(std::vector<rtObjBase*>& list);

    // Nearest accepted hit of one ray: t is set only on acceptance (callers start it at
    // kNoDistance); u, v and hitOffset of the ray are written then.
    virtual void intersect1(SingleRay& ray, float& t) const = 0;
    virtual void intersect1Alt(SingleRay& ray, float& t) const = 0;
    virtual bool occluded1(const SingleRay& ray) const = 0;
    virtual void shade1(SingleRay& ray, float t) const = 0;

    // Hits of four rays: accepted lanes get tHit, u, v and leave the live mask.
    virtual LaneMask4 intersect4(RayBundle4& bundle) const = 0;
    virtual LaneMask4 intersect4Alt(RayBundle4& bundle) const = 0;
    virtual int reserved4(int) const = 0;  // kept in its place in the table; returns 0
    virtual void shade4(RayBundle4& bundle, LaneMask4 mask) const = 0;

    // Hits of sixteen rays into hits[4]; true when any lane was hit.
    virtual bool intersect16(RayBundle16& bundle, LaneMask4 hits[4]) const = 0;
    virtual bool intersect16Alt(RayBundle16& bundle, LaneMask4 hits[4]) const = 0;
    virtual int reserved16(int) const = 0;  // kept in its place in the table; returns 0
    virtual void shade16(RayBundle16& bundle, const LaneMask4 mask[4]) const = 0;

    // Per-frame precomputation for the common origin of all primary rays.
    virtual void prepareForOrigin(const Vec4f& origin) = 0;

    virtual void getProperties(Reader::PropertyList& list);  // appends "name"
    // The body's motion: its velocity and reference point (the sphere's centre, the plane's or
    // cube's pos).
    virtual BodyMotion motion() const;
    // Whether the object is a sphere at rest whose bundle test needs nothing but its centre and
    // squared radius (intersectStaticSphere16): then centreAndRadius2 holds x, y, z and
    // radius^2. The kd-tree keeps them beside its leaf list, so that a bundle tests such
    // spheres without loading the objects themselves, which a big scene has scattered in
    // memory; only a sphere that is hit is read, to shade its rays.
    virtual bool staticSphere(Vec4f& centreAndRadius2) const;
    // How many surfaces a bundle test goes through (a cube's faces); the kd-tree weighs it so.
    virtual int testParts() const { return 1; }
    // Whether the kd-tree must treat the object as moving.
    bool isMoving() const {
        const BodyMotion m = motion();
        return m.spaceTime || m.velocity.x != 0.0f || m.velocity.y != 0.0f || m.velocity.z != 0.0f;
    }
    virtual void update();                                    // recompute derived fields
    // Objects tied to the black hole (the accretion disk) take its centre and Schwarzschild
    // radius from the render settings here, before the tree is built; others ignore it.
    virtual void placeAtHole(const Vec4f& hole, float schwarzschildRadius);
    // The colour of an object that glows with its own light rather than through a texture, so
    // that it is prepared for the eye before each frame like the textures' colours; else null.
    virtual ColDiscrete* ownColor() { return nullptr; }
    virtual void copyFrom(const rtObjBase& other) = 0;
    virtual rtObjBase* clone() const = 0;

protected:
    // The point that motion() reports as the reference; the origin unless a class says otherwise.
    virtual Vec4f referencePoint() const { return Vec4f(); }
    void setWideTest(WideTest test) {
        traits.setFlags((traits.flags() & kKeepsBit) | unsigned(test) << kWideTestShift);
    }
    // Appends "velocity" (the optional property) to list; every body kind ends its list with it.
    void addVelocity(Reader::PropertyList& list);

private:
    friend class rtObjBounded;
    // The flags: bit 0 whether the object keeps its hit bounds (set by rtObjBounded alone), bits
    // 1 and 2 its WideTest (set by the classes the wide walk tests from its registers).
    static constexpr unsigned kKeepsBit = 1, kWideTestShift = 1;
    VelocityAndFlags traits;
};

// An object that keeps its hit bounds: every kind but the sphere at rest, which works them out.
class rtObjBounded : public rtObjBase {
public:
    // x, y, z of hitBounds() (w: all time); everywhere until the class narrows them in update()
    // or prepare(). Six floats, not a box of two Vec4f, so that the fields after them need no
    // padding before them.
    float hitLo[3] = {-__builtin_inff(), -__builtin_inff(), -__builtin_inff()};
    float hitHi[3] = {__builtin_inff(), __builtin_inff(), __builtin_inff()};

    rtObjBounded() { traits.setFlags(traits.flags() | kKeepsBit); }
    void setHitBounds(const BoundingBox& b) {
        for (int k = 0; k < 3; ++k) {
            hitLo[k] = b.min[k];
            hitHi[k] = b.max[k];
        }
    }
    BoundingBox hitBounds() const override {
        return BoundingBox(Vec4f(hitLo[0], hitLo[1], hitLo[2], -__builtin_inff()),
                           Vec4f(hitHi[0], hitHi[1], hitHi[2], __builtin_inff()));
    }
};

// The object that keeps its hit bounds, for the bundle traversal's cull to read them without a
// call (a call would cost its leaf loop a few per cent); null for the sphere at rest, whose own
// test, its discriminant's sign first, is about as cheap as the cull.
inline const rtObjBounded* keptHitBounds(const rtObjBase& object) {
    return object.keepsHitBounds() ? static_cast<const rtObjBounded*>(&object) : nullptr;
}
